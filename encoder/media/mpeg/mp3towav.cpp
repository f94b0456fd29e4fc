// MP3 to WAV: reads frames with our decoder and writes 16-bit little-endian PCM behind a
// 44-byte RIFF header whose two sizes are filled in when the stream ends, however it ends.
#include "encoder/media/mpeg/mp3towav.h"

#include "encoder/media/mpeg/ampdecoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace quil::mpeg {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void emit(const StatusSink& status, const std::string& line) {
    if (status)
        status(line);
}

} // namespace

std::string formatStatus(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

int DecodeMp3ToWav(const std::string& input, bool quiet, const std::string& output,
                   const StatusSink& status) {
    File in(std::fopen(input.c_str(), "rb"));
    if (!in) {
        emit(status, formatStatus("Error: Can't open file %s", input.c_str()));
        return 5;
    }
    File out(std::fopen(output.c_str(), "wb"));
    if (!out) {
        emit(status, formatStatus("Error: Can't open file %s", output.c_str()));
        return 5;
    }
    auto decoder = std::make_unique<AmpDecoder>();
    if (!quiet)
        emit(status, formatStatus("found decoder: %s", decoder->name()));
    if (decoder->initTables() != kAmpNoError) {
        emit(status, "Error: Can't create Amp decoder");
        return 5;
    }
    decoder->reset();
    FileInputStream stream(in.get());
    decoder->setBitsource(&stream);
    int rc = decoder->readFrameHeader();
    const AmpStreamDescription desc = decoder->streamDescription();
    const int channels = rc == kAmpNoError ? desc.channels() : 1;
    const uint32_t rate = rc == kAmpNoError ? uint32_t(desc.sampleRate) : 44100;
    if (rc == kAmpNoError && !quiet)
        emit(status,
             formatStatus("MPEG-%d layer %.*s stream, %ldKbits/sec, %ldKHz, %s", desc.version,
                          desc.layer, "III", desc.bitrateKbps, (desc.sampleRate + 500) / 1000,
                          channels == 1 ? "mono" : "stereo"));

    uint8_t header[44] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    put32(header + 16, 16);
    const uint16_t blockAlign = uint16_t(channels * 2);
    put16(header + 20, 1);
    put16(header + 22, uint16_t(channels));
    put32(header + 24, rate);
    put32(header + 28, rate * blockAlign);
    put16(header + 32, blockAlign);
    put16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    bool writeOk = std::fwrite(header, 1, sizeof header, out.get()) == sizeof header;

    std::vector<int16_t> pcm(AmpDecoder::kMaxFrameSamples);
    std::vector<uint8_t> bytes(AmpDecoder::kMaxFrameSamples * 2);
    long frames = 0;
    while (rc == kAmpNoError && writeOk) {
        decoder->setOutputBuffer(pcm.data(), pcm.size());
        rc = decoder->decodeFrame();
        if (rc != kAmpNoError)
            break;
        const size_t n = decoder->samplesDelivered();
        for (size_t i = 0; i < n; ++i)
            put16(bytes.data() + 2 * i, uint16_t(pcm[i]));
        writeOk = std::fwrite(bytes.data(), 1, n * 2, out.get()) == n * 2;
        ++frames;
        if (frames % 16 == 0)
            emit(status, formatStatus("Decoding MP3 Frame %ld", frames));
        rc = decoder->readFrameHeader();
    }
    if (rc != kAmpNoError && rc != kAmpEndOfFile)
        emit(status, formatStatus("AMPDecoder Error: %s.", AmpDecoder::errorText(rc)));

    // Final sizes: the RIFF chunk and the data chunk, both 32-bit little-endian.
    const long length = std::ftell(out.get());
    writeOk = writeOk && std::fflush(out.get()) == 0;
    if (length >= 44) {
        uint8_t size[4];
        put32(size, uint32_t(length - 8));
        std::fseek(out.get(), 4, SEEK_SET);
        writeOk = std::fwrite(size, 1, 4, out.get()) == 4 && writeOk;
        put32(size, uint32_t(length - 44));
        std::fseek(out.get(), 40, SEEK_SET);
        writeOk = std::fwrite(size, 1, 4, out.get()) == 4 && writeOk;
    }
    // A WAV we could not write is no success, whatever the stream did.
    return writeOk && length >= 44 ? 0 : 5;
}

} // namespace quil::mpeg
