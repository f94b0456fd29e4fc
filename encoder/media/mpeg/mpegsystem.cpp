// MPEG system stream walker and pack probe.
//
// The walker reads the input through a small random-access window (files can be large),
// tries the block recognisers in a fixed order at each position and, when none matches,
// steps forward byte by byte to the next pack header. Every length read from the stream is
// clamped to the bytes that exist before anything is copied.
#include "encoder/media/mpeg/mpegsystem.h"

#include "encoder/media/mpeg/ampdecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace quil::mpeg {

namespace {

// Random access to the input bytes: a file through a cached window, or memory.
class ByteSource {
  public:
    ByteSource(std::FILE* file) : m_file(file) {
        if (std::fseek(file, 0, SEEK_END) == 0) {
            const long end = std::ftell(file);
            m_size = end > 0 ? uint64_t(end) : 0;
        }
        std::fseek(file, 0, SEEK_SET);
        m_cache.resize(kWindow);
    }
    ByteSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint64_t size() const { return m_size; }

    // The byte at pos, or -1 past the end.
    int at(uint64_t pos) {
        if (pos >= m_size)
            return -1;
        if (m_data)
            return m_data[pos];
        if (pos < m_cacheStart || pos >= m_cacheStart + m_cacheLen) {
            m_cacheStart = pos;
            m_cacheLen = 0;
            if (std::fseek(m_file, long(pos), SEEK_SET) == 0)
                m_cacheLen = std::fread(m_cache.data(), 1, m_cache.size(), m_file);
            if (m_cacheLen == 0)
                return -1;
        }
        return m_cache[pos - m_cacheStart];
    }

    // Copies [pos, pos + n) clipped to the end of the input.
    void copy(uint64_t pos, uint64_t n, std::FILE* out) {
        if (!out || pos >= m_size)
            return;
        n = std::min(n, m_size - pos);
        if (m_data) {
            std::fwrite(m_data + pos, 1, size_t(n), out);
            return;
        }
        uint8_t buffer[4096];
        while (n > 0) {
            const size_t chunk = size_t(std::min<uint64_t>(n, sizeof buffer));
            size_t i = 0;
            for (; i < chunk; ++i) {
                const int b = at(pos + i);
                if (b < 0)
                    break;
                buffer[i] = uint8_t(b);
            }
            std::fwrite(buffer, 1, i, out);
            if (i < chunk)
                return;
            pos += chunk;
            n -= chunk;
        }
    }

  private:
    static constexpr size_t kWindow = 65536;
    std::FILE* m_file = nullptr;
    const uint8_t* m_data = nullptr;
    uint64_t m_size = 0;
    std::vector<uint8_t> m_cache;
    uint64_t m_cacheStart = 0;
    size_t m_cacheLen = 0;
};

enum class PackType { None, Mpeg1, Mpeg2, Unknown };

struct Pack {
    PackType type = PackType::None;
    uint64_t start = 0;
    uint64_t size = 0;
};

// Zero bytes, then 00 00 01 BA (the start code's two zeros are the last two of the run).
Pack findPackHeader(ByteSource& in, uint64_t pos) {
    Pack p;
    uint64_t q = pos;
    while (in.at(q) == 0)
        ++q;
    if (q - pos < 2 || in.at(q) != 0x01 || in.at(q + 1) != 0xBA)
        return p;
    p.start = q - 2;
    const int b4 = in.at(p.start + 4);
    if (b4 >= 0 && (b4 >> 4) == 2) {
        p.type = PackType::Mpeg1;
        p.size = 12;
    } else if (b4 >= 0 && (b4 >> 6) == 1) {
        p.type = PackType::Mpeg2;
        const int b13 = in.at(p.start + 13);
        p.size = 14 + uint64_t(b13 >= 0 ? (b13 & 7) : 0);
    } else {
        p.type = PackType::Unknown;
        p.size = 12;
    }
    return p;
}

bool startCode(ByteSource& in, uint64_t pos, int& id) {
    if (in.at(pos) != 0 || in.at(pos + 1) != 0 || in.at(pos + 2) != 1)
        return false;
    id = in.at(pos + 3);
    return id >= 0;
}

uint64_t packetSize(ByteSource& in, uint64_t pos) {
    const int hi = in.at(pos + 4), lo = in.at(pos + 5);
    return 6 + uint64_t(hi < 0 ? 0 : hi) * 256 + uint64_t(lo < 0 ? 0 : lo);
}

class Walker {
  public:
    Walker(ByteSource& in, bool quiet, std::FILE* out, const StatusSink& status)
        : m_in(in), m_quiet(quiet), m_out(out), m_status(status) {}

    int run() {
        if (isId3(0) || audioFrameSize(0) > 0)
            walkElementary();
        else if (findPackHeader(m_in, 0).type != PackType::None &&
                 findPackHeader(m_in, 0).start == 0)
            walkSystem();
        else
            say("Unsupported type of file");
        return m_blocks > 0 ? 0 : 1;
    }

  private:
    void say(const std::string& line) {
        if (m_status)
            m_status(line);
    }
    void note(const std::string& line) {
        if (!m_quiet)
            say(line);
    }

    bool isId3(uint64_t pos) {
        return m_in.at(pos) == 'I' && m_in.at(pos + 1) == 'D' && m_in.at(pos + 2) == '3';
    }

    uint64_t id3Size(uint64_t pos) {
        uint64_t size = 0;
        for (int i = 6; i < 10; ++i) {
            const int b = m_in.at(pos + uint64_t(i));
            size = (size << 7) | uint64_t(b < 0 ? 0 : (b & 0x7F));
        }
        return 10 + size;
    }

    // Frame length of a valid audio frame header at pos, else 0.
    uint64_t audioFrameSize(uint64_t pos, FrameHeader* out = nullptr) {
        uint8_t b[4];
        for (int i = 0; i < 4; ++i) {
            const int v = m_in.at(pos + uint64_t(i));
            if (v < 0)
                return 0;
            b[i] = uint8_t(v);
        }
        FrameHeader h;
        if (!parseFrameHeader(b, h, false))
            return 0;
        if (out)
            *out = h;
        return uint64_t(std::max(h.frameBytes(), 4));
    }

    void recoveryLine(uint64_t pos) {
        if (!m_quiet)
            say(formatStatus("%08lx: Attempting to recover from bad or unknown header...",
                             (unsigned long)pos));
    }

    void walkElementary() {
        uint64_t pos = 0;
        while (pos < m_in.size()) {
            if (isId3(pos)) {
                const uint64_t size = id3Size(pos);
                note(formatStatus("$%08lx: ID3 Block size %ld", (unsigned long)pos, long(size)));
                ++m_blocks;
                pos += size;
                continue;
            }
            FrameHeader h;
            const uint64_t size = audioFrameSize(pos, &h);
            if (!size)
                break;
            static const char* const kLayers[] = {"", "Layer I", "Layer II", "Layer III"};
            note(formatStatus("$%08lx: MPeg Audio Data: size %ld (MPEG %s, %s, %ldHz, %hdkbps)",
                              (unsigned long)pos, long(size),
                              h.mpeg25 ? "2.5" : (h.lsf ? "2" : "1"), kLayers[h.layer],
                              h.sampleRate(), short(h.bitrateKbps())));
            m_in.copy(pos, size, m_out);
            ++m_blocks;
            pos += size;
        }
    }

    void extractAudio(uint64_t pos, uint64_t size) {
        say(formatStatus("Extracting MPEG audio block at $%08lx", (unsigned long)pos));
        const uint64_t end = pos + size;
        uint64_t p = pos + 6;
        auto next = [&]() { return p < end ? m_in.at(p++) : -1; };
        int b = next();
        while (b == 0xFF)
            b = next();
        if (b >= 0 && (b >> 6) == 1) {
            next();
            b = next();
        }
        if (b < 0)
            return;
        if ((b >> 4) == 2) {
            p += 4;
        } else if ((b >> 4) == 3) {
            p += 9;
        } else if ((b >> 4) == 8) {
            next(); // second flags byte
            const int headerLength = next();
            if (headerLength < 0)
                return;
            p += uint64_t(headerLength);
        }
        // anything else is the single 0x0F byte, already consumed
        if (p < end)
            m_in.copy(p, end - p, m_out);
    }

    void walkSystem() {
        uint64_t pos = 0;
        const uint64_t fileSize = m_in.size();
        while (pos < fileSize) {
            const Pack pack = findPackHeader(m_in, pos);
            if (pack.type != PackType::None) {
                static const char* const kKinds[] = {"", "MPEG-1", "MPEG-2", "Unknown Type"};
                note(formatStatus("$%08lx: MPeg Header Block size %ld (%s)",
                                  (unsigned long)pack.start, long(pack.size),
                                  kKinds[int(pack.type)]));
                ++m_blocks;
                pos = pack.start + pack.size;
                continue;
            }
            int id = 0;
            if (startCode(m_in, pos, id)) {
                const uint64_t size = packetSize(m_in, pos);
                if (id >= 0xBC && id <= 0xBF) {
                    note(formatStatus("$%08lx: MPeg Padding Block size %ld", (unsigned long)pos,
                                      long(size)));
                } else if (id == 0xBB) {
                    note(formatStatus("$%08lx: MPeg System Block size %ld", (unsigned long)pos,
                                      long(size)));
                } else if (id >= 0xC0 && id <= 0xDF) {
                    note(formatStatus("$%08lx: MPeg Audio Block size %ld, stream %hd",
                                      (unsigned long)pos, long(size), short(id & 0x1F)));
                    if (m_out)
                        extractAudio(pos, size);
                } else if (id >= 0xE0 && id <= 0xEF) {
                    note(formatStatus("$%08lx: MPeg Video Block size %ld, stream %hd",
                                      (unsigned long)pos, long(size), short(id & 0x0F)));
                } else {
                    id = -1;
                }
                if (id >= 0) {
                    ++m_blocks;
                    pos += size;
                    continue;
                }
                if (m_in.at(pos + 3) == 0xB9) {
                    note(formatStatus("$%08lx: MPeg End Block", (unsigned long)pos));
                    pos += 4;
                    break;
                }
            }
            if (pos + 1 >= fileSize) {
                pos = fileSize;
                break;
            }
            bool resumed = false;
            while (pos < fileSize) {
                recoveryLine(pos);
                ++pos;
                if (m_in.at(pos) != 0)
                    continue;
                if (findPackHeader(m_in, pos).type != PackType::None) {
                    resumed = true;
                    break;
                }
                // Every later start inside this run of zeros fails the same way: step over it
                // without searching again (a long run would otherwise cost its length squared).
                uint64_t q = pos;
                while (m_in.at(q) == 0)
                    ++q;
                while (pos + 1 < q) {
                    recoveryLine(pos);
                    ++pos;
                }
            }
            if (!resumed)
                break;
        }
        note(formatStatus("%08lx: Done", (unsigned long)std::min(pos, fileSize)));
    }

    ByteSource& m_in;
    bool m_quiet;
    std::FILE* m_out;
    const StatusSink& m_status;
    long m_blocks = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};

} // namespace

int ExtractMpegAudioFromMemory(const uint8_t* data, size_t size, bool quiet, std::FILE* out,
                               const StatusSink& status) {
    ByteSource in(data, size);
    return Walker(in, quiet, out, status).run();
}

int ExtractMpegAudio(const std::string& input, bool quiet, const std::string& output,
                     const StatusSink& status) {
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(input.c_str(), "rb"));
    if (!in)
        return 1;
    std::unique_ptr<std::FILE, FileCloser> out;
    if (!output.empty()) {
        out.reset(std::fopen(output.c_str(), "wb"));
        if (!out)
            return 1;
    }
    ByteSource source(in.get());
    const int rc = Walker(source, quiet, out.get(), status).run();
    if (out && std::fclose(out.release()) != 0)
        return 1;
    return rc;
}

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() <= 4 || s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        const char a = s[s.size() - n + i];
        const char lower = (a >= 'A' && a <= 'Z') ? char(a - 'A' + 'a') : a;
        if (lower != suffix[i])
            return false;
    }
    return true;
}

} // namespace

MpegAudioKind mpegAudioKind(const std::string& path) {
    if (endsWithNoCase(path, ".mpg") || endsWithNoCase(path, ".mpeg"))
        return MpegAudioKind::SystemStream;
    if (endsWithNoCase(path, ".mp3"))
        return MpegAudioKind::Mp3;
    return MpegAudioKind::None;
}

std::string extractedAudioName(const std::string& moviePath) {
    return moviePath + ".mp3";
}

std::string decodedWavName(const std::string& mp3Path) {
    return mp3Path + ".wav";
}

int ProbeMpegVideo(std::FILE* file) {
    if (!file)
        return 0;
    const long start = std::ftell(file);
    if (start < 0)
        return 0;
    int result = 0;
    int c;
    while ((c = std::fgetc(file)) == 0) {
    }
    if (c != EOF && std::fseek(file, -3, SEEK_CUR) == 0 && std::ftell(file) >= start) {
        uint8_t b[5];
        if (std::fread(b, 1, 5, file) == 5 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0xBA) {
            if ((b[4] >> 4) == 2)
                result = 1;
            else if ((b[4] >> 6) == 1)
                result = 2;
        }
    }
    std::fseek(file, start, SEEK_SET);
    return result;
}

} // namespace quil::mpeg
