// Test helpers: scratch files, oracle tools, decoding into memory and the PSNR measure.
#include "mpegtestutil.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace quil::mpeg::test {

namespace {

class MemorySource : public IAMPBitsource {
  public:
    explicit MemorySource(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    long read(void* buffer, long n) override {
        const size_t left = m_bytes.size() - m_pos;
        const size_t take = std::min(left, size_t(n));
        std::copy(m_bytes.begin() + long(m_pos), m_bytes.begin() + long(m_pos + take),
                  static_cast<uint8_t*>(buffer));
        m_pos += take;
        return long(take);
    }

  private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_pos = 0;
};

} // namespace

namespace {

// One scratch folder per test process, removed when the process ends.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        path = std::filesystem::temp_directory_path() / ("quil-mpeg-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

std::filesystem::path tempDir() {
    static const ScratchDir dir;
    return dir.path;
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool haveTool(const std::string& name) {
    return run("command -v " + name);
}

Decoded decodeBytes(const std::vector<uint8_t>& bytes) {
    Decoded d;
    MemorySource source(bytes);
    AmpDecoder decoder;
    decoder.initTables();
    decoder.reset();
    decoder.setBitsource(&source);
    std::vector<int16_t> buffer(AmpDecoder::kMaxFrameSamples);
    int rc = decoder.readFrameHeader();
    if (rc == kAmpNoError) {
        d.channels = decoder.streamDescription().channels();
        d.sampleRate = decoder.streamDescription().sampleRate;
    }
    while (rc == kAmpNoError) {
        decoder.setOutputBuffer(buffer.data(), buffer.size());
        rc = decoder.decodeFrame();
        if (rc != kAmpNoError)
            break;
        d.pcm.insert(d.pcm.end(), buffer.begin(),
                     buffer.begin() + long(decoder.samplesDelivered()));
        ++d.frames;
        rc = decoder.readFrameHeader();
    }
    d.lastError = rc;
    d.crcFailures = decoder.crcFailures();
    return d;
}

Decoded decodeFile(const std::filesystem::path& path) {
    return decodeBytes(readBytes(path));
}

std::vector<int16_t> readPcm(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

std::vector<int16_t> ffmpegDecode(const std::filesystem::path& path) {
    const auto out = tempDir() / (path.filename().string() + ".ffmpeg.raw");
    if (!run("ffmpeg -y -v error -i '" + path.string() + "' -f s16le -acodec pcm_s16le '" +
             out.string() + "'"))
        return {};
    return readPcm(out);
}

double psnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t n) {
    if (n == 0)
        n = std::min(a.size(), b.size());
    if (n == 0)
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0.0)
        return 200.0;
    return 10.0 * std::log10(32767.0 * 32767.0 / (sum / double(n)));
}

namespace {

double psnrAt(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int shift, size_t limit,
              size_t* n) {
    const size_t ia = shift > 0 ? size_t(shift) : 0;
    const size_t ib = shift < 0 ? size_t(-shift) : 0;
    if (ia >= a.size() || ib >= b.size())
        return 0.0;
    const size_t count = std::min({a.size() - ia, b.size() - ib, limit});
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double d = double(a[ia + i]) - double(b[ib + i]);
        sum += d * d;
    }
    *n = count;
    return sum == 0.0 ? 200.0 : 10.0 * std::log10(32767.0 * 32767.0 / (sum / double(count)));
}

} // namespace

double alignedPsnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int maxShift,
                   int step, size_t* overlap) {
    // Choose the shift on a stretch of signal, then measure the whole overlap at that shift.
    double best = -1.0;
    int bestShift = 0;
    for (int shift = -maxShift; shift <= maxShift; shift += step) {
        size_t n = 0;
        const double p = psnrAt(a, b, shift, 16384, &n);
        if (p > best) {
            best = p;
            bestShift = shift;
        }
    }
    size_t n = 0;
    const double p = psnrAt(a, b, bestShift, SIZE_MAX, &n);
    if (overlap)
        *overlap = n;
    return p;
}

} // namespace quil::mpeg::test
