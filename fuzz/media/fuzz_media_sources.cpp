// Arbitrary bytes as a movie file, through all four file sources: open, describe, fetch
// frames out of order and read sound from scattered blocks. Whatever FFmpeg makes of the
// bytes, the sources must neither crash, leak nor read outside their buffers.
#include "encoder/media/avisource.h"
#include "encoder/media/mediamessage.h"
#include "encoder/media/qtsource.h"
#include "encoder/media/vbitmap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string& scratchPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/quil-fuzz-XXXXXX";
        const int fd = mkstemp(t.data());
        if (fd >= 0) {
            close(fd);
        }
        std::atexit([] { std::remove(scratchPath().c_str()); });
        return t;
    }();
    return path;
}

void exerciseVideo(VideoStreamSource& src, const std::string& path) {
    if (src.Open(path.c_str()) != 0) {
        return;
    }
    VideoStreamInfo info;
    src.GetInfo(&info);
    const int start = src.GetStart();
    const int length = src.GetLength();
    std::unique_ptr<VBitmap> pic;
    const int picks[] = {start, start + length / 2, start + length - 1, start + 1, start, length};
    for (const int i : picks) {
        if (src.GetFrame(i, pic) == 0 && pic && pic->data) {
            volatile uint32_t sink =
                pic->data[size_t(pic->GetWidth()) * size_t(pic->GetHeight()) - 1];
            (void)sink;
        }
    }
    src.Close();
}

void exerciseAudio(AudioStreamSource& src, const std::string& path) {
    if (src.Open(path.c_str()) != 0) {
        return;
    }
    AudioStreamInfo info;
    src.GetInfo(&info);
    const int length = src.GetLength();
    std::vector<uint8_t> buf(4096);
    const int picks[] = {0, length / 2, length - 10, 3, length};
    for (const int first : picks) {
        int bytes = 0, blocks = 0;
        src.Read(first, 1000, buf.data(), int(buf.size()), &bytes, &blocks);
    }
    src.Close();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        setMediaMessageHandler([](const char*, const char*) {});
        return true;
    }();
    (void)quiet;
    const std::string& path = scratchPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    static VideoStreamSourceAVI aviVideo;
    static VideoStreamSourceQT qtVideo;
    static AudioStreamSourceAVI aviAudio;
    static AudioStreamSourceQT qtAudio;
    exerciseVideo(aviVideo, path);
    exerciseVideo(qtVideo, path);
    exerciseAudio(aviAudio, path);
    exerciseAudio(qtAudio, path);
    return 0;
}
