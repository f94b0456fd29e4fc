#include "testmedia.h"

#include "encoder/media/vbitmap.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <unistd.h>

namespace testmedia {

void makeClip(const std::string& out, const std::string& name, int frames, int fps,
              const std::string& args, const std::string& audioArgs);
void makeSound(const std::string& out, const std::string& name, int rate, int channels,
               double seconds, const std::string& args);

namespace {

struct Folder {
    std::string path;
    Folder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-media-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        path = tmpl;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

void writeFile(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), std::streamsize(size));
}

std::map<std::string, std::string>& made() {
    static std::map<std::string, std::string> m;
    return m;
}

// Clips are kept between test programs (ctest runs every case in its own process) under a
// name that includes a hash of the command that makes them; a clip is made in a private
// file and renamed into place, so parallel cases never see half a file.
std::string cacheDir() {
#ifdef QUIL_MEDIA_CACHE_DIR
    const std::string d = QUIL_MEDIA_CACHE_DIR;
#else
    const std::string d = dir() + "/cache";
#endif
    std::filesystem::create_directories(d);
    return d;
}

std::string cachedOutput(const std::string& name, const std::string& command,
                         const std::function<std::string(const std::string& out)>& make) {
    auto it = made().find(name);
    if (it != made().end()) {
        return it->second;
    }
    const std::string key = std::to_string(std::hash<std::string>{}(command) % 1000000007u);
    const std::string out = cacheDir() + "/" + key + "-" + name;
    if (!std::filesystem::exists(out)) {
        // Made beside its final name (rename stays on one file system); the extension stays
        // last so that ffmpeg picks the container from it.
        const std::string tmp =
            cacheDir() + "/tmp" + std::to_string(getpid()) + "-" + key + "-" + name;
        make(tmp);
        std::filesystem::rename(tmp, out);
    }
    made()[name] = out;
    return out;
}

} // namespace

const std::string& dir() {
    static Folder folder;
    return folder.path;
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string indexedClip(const std::string& name, int frames, int fps, const std::string& args,
                        const std::string& audioArgs) {
    const std::string id = "clip " + std::to_string(frames) + " " + std::to_string(fps) + " " +
                           args + " | " + audioArgs;
    return cachedOutput(name, id, [&](const std::string& out) {
        makeClip(out, name, frames, fps, args, audioArgs);
        return out;
    });
}

void makeClip(const std::string& out, const std::string& name, int frames, int fps,
              const std::string& args, const std::string& audioArgs) {
    std::vector<uint8_t> raw(size_t(frames) * kWidth * kHeight * 3);
    for (int f = 0; f < frames; ++f) {
        uint8_t* pic = raw.data() + size_t(f) * kWidth * kHeight * 3;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = pic + (size_t(y) * kWidth + size_t(x)) * 3;
                if (y < 32) {
                    const int bit = (y / 16) * 4 + x / 16;
                    const uint8_t v = (f >> bit) & 1 ? 255 : 0;
                    p[0] = p[1] = p[2] = v;
                } else if (x < 32) {
                    p[0] = 255, p[1] = 0, p[2] = 0;
                } else {
                    p[0] = 0, p[1] = 0, p[2] = 255;
                }
            }
        }
    }
    const std::string rawPath = dir() + "/" + name + ".rgb";
    writeFile(rawPath, raw.data(), raw.size());
    std::string cmd = "ffmpeg -nostdin -y -loglevel error -f rawvideo -pix_fmt rgb24 -s 64x48 -r " +
                      std::to_string(fps) + " -i " + rawPath;
    if (!audioArgs.empty()) {
        const std::string snd =
            soundFile(name + ".snd.wav", 22050, 2, double(frames) / fps, "-c:a pcm_s16le");
        cmd += " -i " + snd + " " + audioArgs;
    }
    cmd += " " + args + " " + out;
    if (!run(cmd)) {
        throw std::runtime_error("ffmpeg failed: " + cmd);
    }
    std::remove(rawPath.c_str());
}

int16_t testSample(int64_t i, int c) {
    // A 440 Hz tone at 22050 Hz-independent phase per sample, channels a fifth apart, plus
    // a slow ramp so that every stretch of samples differs from every other.
    const double t = double(i);
    const double v =
        9000.0 * std::sin(t * 0.0627 * (1.0 + 0.5 * c)) + double((i * 7) % 4001) - 2000;
    return int16_t(v);
}

std::string soundFile(const std::string& name, int rate, int channels, double seconds,
                      const std::string& args) {
    const std::string id = "sound " + std::to_string(rate) + " " + std::to_string(channels) + " " +
                           std::to_string(seconds) + " " + args;
    return cachedOutput(name, id, [&](const std::string& out) {
        makeSound(out, name, rate, channels, seconds, args);
        return out;
    });
}

void makeSound(const std::string& out, const std::string& name, int rate, int channels,
               double seconds, const std::string& args) {
    const int64_t n = int64_t(seconds * rate);
    std::vector<int16_t> raw(size_t(n) * size_t(channels));
    for (int64_t i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            raw[size_t(i * channels + c)] = testSample(i, c);
        }
    }
    const std::string rawPath = dir() + "/" + name + ".s16";
    writeFile(rawPath, raw.data(), raw.size() * 2);
    const std::string cmd = "ffmpeg -nostdin -y -loglevel error -f s16le -ar " +
                            std::to_string(rate) + " -ac " + std::to_string(channels) + " -i " +
                            rawPath + " " + args + " " + out;
    if (!run(cmd)) {
        throw std::runtime_error("ffmpeg failed: " + cmd);
    }
    std::remove(rawPath.c_str());
}

std::string prefixCopy(const std::string& from, const std::string& name, double bytes) {
    std::ifstream in(from, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t n = bytes < 1 ? size_t(double(all.size()) * bytes) : size_t(bytes);
    return bytesFile(name, all.substr(0, n));
}

std::string bytesFile(const std::string& name, const std::string& bytes) {
    const std::string out = dir() + "/" + name;
    writeFile(out, bytes.data(), bytes.size());
    return out;
}

int indexOf(const VBitmap& pic) {
    if (pic.GetWidth() != kWidth || pic.GetHeight() != kHeight || !pic.data) {
        return -1;
    }
    auto at = [&](int x, int yFromTop) { return pic.Row(kHeight - 1 - yFromTop)[x]; };
    const uint32_t left = at(16, 40), right = at(48, 40);
    const bool redLeft = (left >> 16 & 255) > 160 && (left & 255) < 96 && (left >> 8 & 255) < 96;
    const bool blueRight =
        (right & 255) > 160 && (right >> 16 & 255) < 96 && (right >> 8 & 255) < 96;
    if (!redLeft || !blueRight) {
        return -1;
    }
    int index = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const uint32_t p = at((bit % 4) * 16 + 8, (bit / 4) * 16 + 8);
        const int g = int(p >> 8 & 255);
        if (g > 160) {
            index |= 1 << bit;
        } else if (g > 96) {
            return -1;
        }
    }
    return index;
}

std::vector<uint8_t> wavData(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    size_t pos = 12;
    while (pos + 8 <= all.size()) {
        const uint32_t size = uint32_t(all[pos + 4]) | uint32_t(all[pos + 5]) << 8 |
                              uint32_t(all[pos + 6]) << 16 | uint32_t(all[pos + 7]) << 24;
        if (std::memcmp(&all[pos], "data", 4) == 0) {
            const size_t end = std::min(all.size(), pos + 8 + size_t(size));
            return {all.begin() + long(pos + 8), all.begin() + long(end)};
        }
        pos += 8 + size + (size & 1);
    }
    return {};
}

} // namespace testmedia
