// In-memory audio source: blocks are stored exactly as a file source would deliver them.
#include "encoder/media/memoryaudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int searchSegment(int value, const int* ends) {
    for (int seg = 0; seg < 8; ++seg) {
        if (value <= ends[seg]) {
            return seg;
        }
    }
    return 8;
}

} // namespace

uint8_t LinearToALaw(int16_t sample) {
    static constexpr int kEnds[8] = {0x1f, 0x3f, 0x7f, 0xff, 0x1ff, 0x3ff, 0x7ff, 0xfff};
    int pcm = sample >> 3;
    int mask = 0xd5;
    if (pcm < 0) {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    const int seg = searchSegment(pcm, kEnds);
    if (seg >= 8) {
        return uint8_t(0x7f ^ mask);
    }
    int code = seg << 4;
    code |= seg < 2 ? (pcm >> 1) & 0x0f : (pcm >> seg) & 0x0f;
    return uint8_t(code ^ mask);
}

uint8_t LinearToMuLaw(int16_t sample) {
    static constexpr int kEnds[8] = {0x3f, 0x7f, 0xff, 0x1ff, 0x3ff, 0x7ff, 0xfff, 0x1fff};
    int pcm = sample >> 2;
    int mask = 0xff;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7f;
    }
    pcm = std::min(pcm, 8159) + (0x84 >> 2);
    const int seg = searchSegment(pcm, kEnds);
    if (seg >= 8) {
        return uint8_t(0x7f ^ mask);
    }
    return uint8_t(((seg << 4) | ((pcm >> (seg + 1)) & 0x0f)) ^ mask);
}

void MemoryAudioSource::Generate(const MemoryAudioFormat& format, int blocks,
                                 const Generator& generator) {
    const int align = format.effectiveBlockAlign();
    const int sampleBytes = format.bytesPerSample();
    std::vector<uint8_t> bytes(size_t(std::max(blocks, 0)) * size_t(align), 0);
    for (int b = 0; b < blocks; ++b) {
        uint8_t* block = bytes.data() + size_t(b) * size_t(align);
        // A block alignment too small for all channels keeps only those that fit.
        for (int c = 0; c < format.channels && (c + 1) * sampleBytes <= align; ++c) {
            const double v = std::clamp(generator(b, c), -1.0, 1.0);
            uint8_t* p = block + size_t(c) * size_t(sampleBytes);
            if (format.bitsPerSample <= 8) {
                const auto s16 = int16_t(std::clamp(std::lround(v * 32768.0), -32768L, 32767L));
                if (format.formatTag == 6) {
                    *p = LinearToALaw(s16);
                } else if (format.formatTag == 7) {
                    *p = LinearToMuLaw(s16);
                } else {
                    *p = uint8_t(std::clamp(std::lround(v * 128.0) + 128, 0L, 255L));
                }
            } else {
                const int bits = sampleBytes * 8;
                const int64_t full = int64_t(1) << (bits - 1);
                const int64_t s =
                    std::clamp<int64_t>(std::llround(v * double(full)), -full, full - 1);
                for (int i = 0; i < sampleBytes; ++i) {
                    p[i] = uint8_t(uint64_t(s) >> (8 * i));
                }
            }
        }
    }
    SetRaw(format, std::move(bytes));
}

void MemoryAudioSource::SetRaw(const MemoryAudioFormat& format, std::vector<uint8_t> bytes) {
    m_format = format;
    m_bytes = std::move(bytes);
    const int align = format.effectiveBlockAlign();
    m_blocks = align > 0 ? int(m_bytes.size() / size_t(align)) : 0;
    m_open = true;
}

int MemoryAudioSource::Open(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        return kAudioNoFileName;
    }
    m_open = true;
    return kAudioOk;
}

int MemoryAudioSource::GetInfo(AudioStreamInfo* info) {
    if (!m_open) {
        return kAudioNotOpen;
    }
    if (m_infoError != 0) {
        return m_infoError;
    }
    info->rate = m_format.samplesPerSec;
    info->scale = 1;
    info->length = m_blocks;
    info->bitsPerSample = m_format.bitsPerSample;
    info->blockAlign = m_format.effectiveBlockAlign();
    info->channels = m_format.channels;
    info->samplesPerSec = m_format.samplesPerSec;
    info->formatTag = m_format.formatTag;
    return kAudioOk;
}

int MemoryAudioSource::Read(int firstBlock, int blockCount, void* buffer, int bufferSize,
                            int* bytesRead, int* blocksRead) {
    ++m_readCalls;
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (blocksRead != nullptr) {
        *blocksRead = 0;
    }
    if (!m_open) {
        return kAudioNotOpen;
    }
    const int align = m_format.effectiveBlockAlign();
    const int64_t index = int64_t(firstBlock) - m_start;
    if (index < 0 || index > m_blocks || blockCount < 0 || align <= 0) {
        return kAudioReadError;
    }
    int64_t count = std::min<int64_t>(blockCount, m_blocks - index);
    if (m_maxBlocksPerRead > 0) {
        count = std::min<int64_t>(count, m_maxBlocksPerRead);
    }
    if (m_failFrom >= 0 && count > 0 && int64_t(firstBlock) + count > m_failFrom) {
        return m_failCode;
    }
    count = std::min<int64_t>(count, std::max(bufferSize, 0) / align);
    const size_t n = size_t(count) * size_t(align);
    if (n > 0) {
        std::memcpy(buffer, m_bytes.data() + size_t(index) * size_t(align), n);
    }
    if (bytesRead != nullptr) {
        *bytesRead = int(n);
    }
    if (blocksRead != nullptr) {
        *blocksRead = int(count);
    }
    return kAudioOk;
}
