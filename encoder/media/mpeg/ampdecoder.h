// Our MPEG audio decoder: ISO/IEC 11172-3 layers I, II and III and the lower sampling
// rates of ISO/IEC 13818-3, producing 16-bit PCM, mono or stereo as the stream is.
//
// The decoder pulls bytes from an IAMPBitsource through its own input buffer, finds and
// checks frame headers, reads frame bodies and decodes them into the caller's output
// buffer. Every call returns an AmpError code; the text of a code comes from errorText().
// Once the first header is found the stream's version, layer, sampling rate and channel
// count are locked: a later sync word that disagrees is taken as garbage and skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace quil::mpeg {

// The decoder's source of bytes.
class IAMPBitsource {
  public:
    virtual ~IAMPBitsource() = default;
    // Reads up to n bytes into buffer; returns the number read, 0 at the end, < 0 on error.
    virtual long read(void* buffer, long n) = 0;
};

// A bit source over an open file, reading from its current position. Does not own the file.
class FileInputStream : public IAMPBitsource {
  public:
    explicit FileInputStream(std::FILE* file) : m_file(file) {}
    long read(void* buffer, long n) override;

  private:
    std::FILE* m_file;
};

enum AmpError : int {
    kAmpNoError = 0,
    kAmpEndOfFile = 1,
    kAmpReadError = 2,
    kAmpMpeg25 = 3,
    kAmpFreeFormat = 5,
    kAmpSyncError = 6,
    kAmpInternalError = 7,
    kAmpIncompleteFrame = 8,
};

enum class ChannelMode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

struct AmpStreamDescription {
    long bitrateKbps = 0;
    long sampleRate = 0;
    int layer = 0;   // 1, 2 or 3
    int version = 0; // 1 (ISO/IEC 11172-3) or 2 (lower sampling rates of ISO/IEC 13818-3)
    ChannelMode mode = ChannelMode::Stereo;
    int channels() const { return mode == ChannelMode::Mono ? 1 : 2; }
};

// One parsed frame header.
struct FrameHeader {
    bool lsf = false;    // lower sampling rates (MPEG-2, and MPEG-2.5)
    bool mpeg25 = false; // quarter sampling rates; only the system stream walker accepts these
    int layer = 0;
    bool crc = false;
    int bitrateIndex = 0;
    int sampleRateIndex = 0;
    bool padding = false;
    ChannelMode mode = ChannelMode::Stereo;
    int modeExtension = 0;
    uint8_t bytes[4] = {};

    int channels() const { return mode == ChannelMode::Mono ? 1 : 2; }
    long bitrateKbps() const;
    long sampleRate() const;
    int frameBytes() const; // whole frame including the header
    int samplesPerChannel() const;
};

// Parses four header bytes; returns false unless they hold a sync word, a version that is
// not reserved, a layer, a bit rate index 1-14 (0 too when allowFree) and a sampling rate.
// MPEG-2.5 (version bits 00) is accepted here and reported through *mpeg25.
bool parseFrameHeader(const uint8_t* b, FrameHeader& h, bool allowFree, bool* mpeg25 = nullptr);

struct DecoderState;

class AmpDecoder {
  public:
    static constexpr size_t kMaxFrameSamples = 1152 * 2;

    AmpDecoder();
    virtual ~AmpDecoder();
    AmpDecoder(const AmpDecoder&) = delete;
    AmpDecoder& operator=(const AmpDecoder&) = delete;

    const char* name() const;
    int initTables();
    void setBitsource(IAMPBitsource* source);
    // The buffer receives interleaved 16-bit samples; it needs room for kMaxFrameSamples.
    void setOutputBuffer(int16_t* pcm, size_t capacity);
    // Sample values (all channels) written by the last decodeFrame().
    size_t samplesDelivered() const { return m_delivered; }
    AmpStreamDescription streamDescription() const;
    static const char* errorText(int code);
    void reset();
    int readFrameHeader();
    int readFrameBody();
    int decodeFrame();

    // Frames whose CRC did not match and were played as silence.
    long crcFailures() const { return m_crcFailures; }

  private:
    bool ensureInput(size_t n);
    int decodeLayer1();
    int decodeLayer2();
    int decodeLayer3();
    bool checkCrc(size_t protectedBits) const;
    void emitSilence();

    IAMPBitsource* m_source = nullptr;
    std::vector<uint8_t> m_in;
    size_t m_inPos = 0;
    size_t m_inEnd = 0;
    bool m_inEof = false;
    bool m_inError = false;

    FrameHeader m_header;
    bool m_haveHeader = false;
    bool m_haveBody = false;
    bool m_locked = false;
    FrameHeader m_lockedHeader;
    std::vector<uint8_t> m_frame; // header and body of the current frame, zero-padded

    int16_t* m_pcm = nullptr;
    size_t m_pcmCapacity = 0;
    size_t m_delivered = 0;
    long m_crcFailures = 0;

    std::unique_ptr<DecoderState> m_state;
};

} // namespace quil::mpeg
