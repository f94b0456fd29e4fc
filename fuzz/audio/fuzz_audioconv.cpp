// The audio conversion fed by a source whose format fields and sample bytes come from the
// input, and whose Read may misreport what it delivered, as a broken file source could.
#include "encoder/media/audioconv.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class FuzzSource : public AudioStreamSource {
  public:
    FuzzSource(const uint8_t* data, size_t size) {
        auto take = [&](size_t n) {
            uint32_t v = 0;
            for (size_t i = 0; i < n && m_pos < size; ++i) {
                v |= uint32_t(data[m_pos++]) << (8 * i);
            }
            return v;
        };
        m_info.bitsPerSample = int32_t(take(1)) - 8;
        m_info.channels = int32_t(take(1) % 8) - 1;
        m_info.blockAlign = int32_t(take(1)) - 4;
        m_info.formatTag = uint16_t(take(1) % 9);
        m_info.samplesPerSec = take(3);
        m_misreport = int(take(1));
        m_start = int(take(1)) - 16;
        m_bytes.assign(data + std::min(m_pos, size), data + size);
        m_info.length =
            m_info.blockAlign > 0 ? int32_t(m_bytes.size() / size_t(m_info.blockAlign)) : 0;
        m_info.rate = m_info.samplesPerSec;
        m_info.scale = 1;
    }
    void Close() override {}
    bool IsOpen() override { return true; }
    int Open(const char*) override { return 0; }
    uint32_t GetSourceType() override { return 0; }
    int GetInfo(AudioStreamInfo* info) override {
        *info = m_info;
        return 0;
    }
    int GetStart() override { return m_start; }
    int GetLength() override { return m_info.length + (m_misreport & 0x10 ? 1000 : 0); }
    int Read(int first, int count, void* buffer, int bufferSize, int* bytesRead,
             int* blocksRead) override {
        const int align = m_info.blockAlign;
        const long index = long(first) - m_start;
        int blocks = 0;
        if (align > 0 && index >= 0 && index <= m_info.length && count > 0) {
            blocks = int(std::min<long>(
                {long(count), long(m_info.length) - index, long(bufferSize / align)}));
            if (blocks > 0) {
                std::memcpy(buffer, m_bytes.data() + size_t(index) * size_t(align),
                            size_t(blocks) * size_t(align));
            }
        }
        // Bits of the input decide whether the counts told are the true ones.
        if (blocksRead != nullptr) {
            *blocksRead = (m_misreport & 1) ? count * 3 + 7 : (m_misreport & 2) ? -5 : blocks;
        }
        if (bytesRead != nullptr) {
            *bytesRead = (m_misreport & 4)   ? bufferSize * 2
                         : (m_misreport & 8) ? -1
                                             : blocks * std::max(align, 0);
        }
        return (m_misreport & 0x20) && first > m_start + 1000 ? kAudioReadError : 0;
    }

  private:
    AudioStreamInfo m_info;
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    int m_misreport = 0;
    int m_start = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSource src(data, size);
    AudioConversionOptions opts;
    const uint8_t mode = size > 0 ? data[size - 1] : 0;
    opts.bUseADPCM = mode & 1;
    opts.bAudioHifi = mode & 2;
    opts.bEnablePrefilter = mode & 4;
    opts.bAudioBoost = mode & 8;
    opts.nAudioBoostVal = (mode >> 4) * 40;
    static FILE* out = std::fopen("/dev/null", "wb");
    std::vector<uint32_t> offsets(1);
    std::atomic<bool> stop{false};
    EncodeAudioRecords(src, opts, out, 1, offsets, 0, (mode & 0x80) ? 1500 : 0, stop, {});
    return 0;
}
