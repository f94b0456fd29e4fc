// Feeds arbitrary bytes to the MPEG audio decoder, in small reads so that frames straddle
// the input buffer's refills.
#include "encoder/media/mpeg/ampdecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class Source : public quil::mpeg::IAMPBitsource {
  public:
    Source(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    long read(void* buffer, long n) override {
        const size_t chunk = m_size ? 1 + (m_data[m_pos % m_size] % 97) : 0;
        const size_t take = std::min({size_t(n), m_size - m_pos, chunk * 37});
        std::memcpy(buffer, m_data + m_pos, take);
        m_pos += take;
        return long(take);
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Source source(data, size);
    quil::mpeg::AmpDecoder decoder;
    decoder.initTables();
    decoder.reset();
    decoder.setBitsource(&source);
    std::vector<int16_t> pcm(quil::mpeg::AmpDecoder::kMaxFrameSamples);
    int rc = decoder.readFrameHeader();
    for (int frames = 0; rc == quil::mpeg::kAmpNoError && frames < 2000; ++frames) {
        decoder.setOutputBuffer(pcm.data(), pcm.size());
        rc = decoder.decodeFrame();
        if (rc != quil::mpeg::kAmpNoError)
            break;
        if (decoder.samplesDelivered() > pcm.size())
            __builtin_trap();
        (void)decoder.streamDescription();
        rc = decoder.readFrameHeader();
    }
    (void)quil::mpeg::AmpDecoder::errorText(rc);
    return 0;
}
