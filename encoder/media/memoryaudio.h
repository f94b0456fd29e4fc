// An audio source whose sample blocks live in memory, generated in code in any of the
// formats the file sources deliver (8- or 16-bit and wider PCM, A-law, mu-law, one or two
// channels, any rate). Engine and conversion tests use it instead of files; it can also
// be told to fail reads or to deliver short reads.
#pragma once

#include "encoder/media/streamsource.h"

#include <functional>
#include <vector>

inline constexpr uint32_t kSourceTypeAudioMemory = FourCC('A', 'M', 'E', 'M');

struct MemoryAudioFormat {
    uint32_t samplesPerSec = 10000;
    int32_t bitsPerSample = 16;
    int32_t channels = 1;
    uint16_t formatTag = 1; // 1 PCM, 6 A-law, 7 mu-law
    int32_t blockAlign = 0; // 0: channels times the bytes of one sample

    int bytesPerSample() const { return (bitsPerSample + 7) / 8; }
    int effectiveBlockAlign() const {
        return blockAlign > 0 ? blockAlign : channels * bytesPerSample();
    }
};

// G.711 compression of a 16-bit linear sample.
uint8_t LinearToALaw(int16_t sample);
uint8_t LinearToMuLaw(int16_t sample);

class MemoryAudioSource : public AudioStreamSource {
  public:
    // Value of one channel of one sample block, nominally -1..1 (clipped when stored).
    using Generator = std::function<double(int block, int channel)>;

    MemoryAudioSource() = default;

    // Replaces the content with blocks sample blocks made by generator and opens the source.
    void Generate(const MemoryAudioFormat& format, int blocks, const Generator& generator);
    // Replaces the content with raw bytes (whole blocks of format.effectiveBlockAlign(); a
    // trailing partial block is ignored) and opens the source. The format is reported by
    // GetInfo as given, so a test can describe the bytes wrongly on purpose.
    void SetRaw(const MemoryAudioFormat& format, std::vector<uint8_t> bytes);

    void SetStart(int firstBlock) { m_start = firstBlock; }
    // Read fails with code once a request reaches block (absolute index); -1 turns it off.
    void FailReadsFrom(int block, int code = kAudioReadError) {
        m_failFrom = block;
        m_failCode = code;
    }
    // At most this many blocks per Read; 0 = as many as asked for.
    void SetMaxBlocksPerRead(int blocks) { m_maxBlocksPerRead = blocks; }
    void FailGetInfo(int code) { m_infoError = code; }

    int readCalls() const { return m_readCalls; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    const MemoryAudioFormat& format() const { return m_format; }

    void Close() override { m_open = false; }
    bool IsOpen() override { return m_open; }
    // Reopens the content held; the name only has to be non-empty.
    int Open(const char* fileName) override;
    uint32_t GetSourceType() override { return kSourceTypeAudioMemory; }
    int Read(int firstBlock, int blockCount, void* buffer, int bufferSize, int* bytesRead,
             int* blocksRead) override;
    int GetInfo(AudioStreamInfo* info) override;
    int GetStart() override { return m_start; }
    int GetLength() override { return m_open ? m_blocks : 0; }

  private:
    MemoryAudioFormat m_format;
    std::vector<uint8_t> m_bytes;
    int m_blocks = 0;
    int m_start = 0;
    bool m_open = false;
    int m_failFrom = -1;
    int m_failCode = kAudioReadError;
    int m_maxBlocksPerRead = 0;
    int m_infoError = 0;
    int m_readCalls = 0;
};
