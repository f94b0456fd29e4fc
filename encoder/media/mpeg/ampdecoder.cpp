// MPEG audio decoder: frame sync, headers and bodies, layers I and II, the Layer III
// pipeline (side information, scalefactors, Huffman data, dequantisation, stereo
// processing, reordering, alias reduction, IMDCT) and the synthesis filter bank.
//
// A frame whose bits cannot be trusted (CRC mismatch, side information that does not fit,
// a bit reservoir reaching before the data we hold) is played as silence so that the
// output keeps its length; the stream goes on with the next frame.
#include "encoder/media/mpeg/ampdecoder.h"

#include "encoder/media/mpeg/bitreader.h"
#include "encoder/media/mpeg/mpegaudio_tables.h"
#include "encoder/media/mpeg/synthesis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace quil::mpeg {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kInputChunk = 16384;
constexpr size_t kMaxSyncSkip = 1 << 20;
constexpr size_t kPadding = 8;
constexpr size_t kReservoirKeep = 1024;

// ---------------------------------------------------------------------------------------
// Huffman decoding tables built from the code books: a root table indexed by the next
// `rootBits` bits; an entry either resolves a symbol (len bits consumed) or points to a
// sub-table for the following bits.

struct HuffEntry {
    uint16_t value = 0;  // symbol, or offset of the sub-table
    uint8_t len = 0;     // bits consumed at this level
    uint8_t subBits = 0; // 0 for a symbol
};

struct HuffCode {
    uint32_t code;
    uint8_t len;
    uint16_t symbol;
};

struct HuffTable {
    std::vector<HuffEntry> entries;
    int rootBits = 0;
};

size_t buildLevel(std::vector<HuffEntry>& t, const std::vector<HuffCode>& codes, int bits) {
    const size_t base = t.size();
    t.resize(base + (size_t(1) << bits), HuffEntry{0, uint8_t(bits), 0});
    std::vector<std::vector<HuffCode>> groups(size_t(1) << bits);
    for (const HuffCode& c : codes) {
        if (c.len <= bits) {
            const size_t first = size_t(c.code) << (bits - c.len);
            const size_t count = size_t(1) << (bits - c.len);
            for (size_t i = 0; i < count; ++i)
                t[base + first + i] = HuffEntry{c.symbol, c.len, 0};
        } else {
            const int rest = c.len - bits;
            groups[c.code >> rest].push_back(
                HuffCode{c.code & ((1u << rest) - 1), uint8_t(rest), c.symbol});
        }
    }
    for (size_t prefix = 0; prefix < groups.size(); ++prefix) {
        if (groups[prefix].empty())
            continue;
        int maxLen = 0;
        for (const HuffCode& c : groups[prefix])
            maxLen = std::max(maxLen, int(c.len));
        const int subBits = std::min(maxLen, 8);
        const size_t sub = buildLevel(t, groups[prefix], subBits);
        t[base + prefix] = HuffEntry{uint16_t(sub), uint8_t(bits), uint8_t(subBits)};
    }
    return base;
}

HuffTable buildTable(const std::vector<HuffCode>& codes, int rootBits) {
    HuffTable table;
    table.rootBits = rootBits;
    buildLevel(table.entries, codes, rootBits);
    return table;
}

inline int huffDecode(const HuffTable& table, BitReader& br) {
    int bits = table.rootBits;
    const HuffEntry* e = &table.entries[br.peek(bits)];
    while (e->subBits) {
        br.skip(bits);
        bits = e->subBits;
        e = &table.entries[size_t(e->value) + br.peek(bits)];
    }
    br.skip(e->len);
    return e->value;
}

// ---------------------------------------------------------------------------------------

struct Tables {
    std::array<HuffTable, 32> pairs;
    HuffTable quadA;
    float pow43[8207];
    float layer12Scale[64];
    float imdctLong[36][18];
    float imdctShort[12][6];
    float window[4][36];
    float aliasCs[8], aliasCa[8];
    float isRatio[7][2];
    float lsfIsRatio[2][32];

    Tables() {
        for (size_t t = 0; t < kHuffPairs.size(); ++t) {
            const HuffPairSource& src = kHuffPairs[t];
            if (!src.ylen)
                continue;
            std::vector<HuffCode> codes;
            for (int i = 0; i < src.ylen * src.ylen; ++i)
                codes.push_back(HuffCode{src.codes[i], src.lens[i],
                                         uint16_t(((i / src.ylen) << 4) | (i % src.ylen))});
            pairs[t] = buildTable(codes, src.ylen <= 4 ? 6 : 8);
        }
        std::vector<HuffCode> quad;
        for (int i = 0; i < 16; ++i)
            quad.push_back(
                HuffCode{kHuffQuadCodes[0][size_t(i)], kHuffQuadLens[0][size_t(i)], uint16_t(i)});
        quadA = buildTable(quad, 6);

        for (int i = 0; i < 8207; ++i)
            pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
        for (int i = 0; i < 63; ++i)
            layer12Scale[i] = float(2.0 * std::pow(2.0, -i / 3.0));
        layer12Scale[63] = 0.0f;

        for (int i = 0; i < 36; ++i)
            for (int k = 0; k < 18; ++k)
                imdctLong[i][k] = float(std::cos(kPi / 72.0 * (2 * i + 1 + 18) * (2 * k + 1)));
        for (int i = 0; i < 12; ++i)
            for (int k = 0; k < 6; ++k)
                imdctShort[i][k] = float(std::cos(kPi / 24.0 * (2 * i + 1 + 6) * (2 * k + 1)));
        for (int i = 0; i < 36; ++i)
            window[0][i] = float(std::sin(kPi / 36.0 * (i + 0.5)));
        for (int i = 0; i < 36; ++i) {
            double start = 0.0, stop = 0.0;
            if (i < 18)
                start = std::sin(kPi / 36.0 * (i + 0.5));
            else if (i < 24)
                start = 1.0;
            else if (i < 30)
                start = std::sin(kPi / 12.0 * (i - 18 + 0.5));
            if (i >= 6 && i < 12)
                stop = std::sin(kPi / 12.0 * (i - 6 + 0.5));
            else if (i >= 12 && i < 18)
                stop = 1.0;
            else if (i >= 18)
                stop = std::sin(kPi / 36.0 * (i + 0.5));
            window[1][i] = float(start);
            window[3][i] = float(stop);
        }
        for (int i = 0; i < 12; ++i)
            window[2][i] = float(std::sin(kPi / 12.0 * (i + 0.5)));
        const double ci[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            const double d = std::sqrt(1.0 + ci[i] * ci[i]);
            aliasCs[i] = float(1.0 / d);
            aliasCa[i] = float(ci[i] / d);
        }
        for (int p = 0; p < 7; ++p) {
            const double a = p * kPi / 12.0;
            const double s = std::sin(a), c = std::cos(a);
            isRatio[p][0] = float(s / (s + c));
            isRatio[p][1] = float(c / (s + c));
        }
        for (int scale = 0; scale < 2; ++scale)
            for (int k = 0; k < 32; ++k)
                lsfIsRatio[scale][k] =
                    float(std::pow(scale ? std::sqrt(0.5) : std::pow(2.0, -0.25), k));
    }
};

// Built once at start-up (the tables it reads are constant-initialised).
const Tables g_tables;

inline const Tables& tables() {
    return g_tables;
}

uint16_t crc16(const uint8_t* data, size_t startBit, size_t bits, uint16_t crc) {
    for (size_t i = 0; i < bits; ++i) {
        const size_t b = startBit + i;
        const int bit = (data[b >> 3] >> (7 - (b & 7))) & 1;
        const int top = (crc >> 15) & 1;
        crc = uint16_t(crc << 1);
        if (top ^ bit)
            crc ^= 0x8005;
    }
    return crc;
}

struct GranuleChannel {
    int part23Length = 0;
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int blockType = 0;
    bool mixed = false;
    int tableSelect[3] = {0, 0, 0};
    int subblockGain[3] = {0, 0, 0};
    int region0Count = 0;
    int region1Count = 0;
    bool preflag = false;
    int scalefacScale = 0;
    int count1Table = 0;
};

struct SideInfo {
    int mainDataBegin = 0;
    int scfsi[2][4] = {};
    GranuleChannel gr[2][2];
};

} // namespace

struct DecoderState {
    SynthesisState synth;
    SynthesisFn synthesize = synthesisFunction();
    // Layer III
    std::vector<uint8_t> reservoir; // main data of earlier frames, then this frame's
    size_t reservoirLen = 0;
    float overlap[2][32][18] = {};
    float xr[2][576] = {};
    int nonzero[2] = {0, 0};
    int sfLong[2][22] = {};
    int sfShort[2][13][3] = {};
    int isMaxLong[22] = {};
    int isMaxShort[13] = {};
    // Layers I and II: [channel][slot][subband]
    float sb[2][36][32] = {};

    DecoderState() : reservoir(4096 + kPadding) {}
    void clear() {
        synth.clear();
        reservoirLen = 0;
        std::memset(overlap, 0, sizeof overlap);
    }
};

// ---------------------------------------------------------------------------------------

long FileInputStream::read(void* buffer, long n) {
    if (!m_file || n < 0)
        return -1;
    const size_t got = std::fread(buffer, 1, size_t(n), m_file);
    if (got == 0 && std::ferror(m_file))
        return -1;
    return long(got);
}

long FrameHeader::bitrateKbps() const {
    return kBitrateKbps[lsf ? 1 : 0][size_t(layer - 1)][size_t(bitrateIndex)];
}

long FrameHeader::sampleRate() const {
    const long rate = long(kSampleRate[lsf ? 1 : 0][size_t(sampleRateIndex)]);
    return mpeg25 ? rate / 2 : rate;
}

int FrameHeader::frameBytes() const {
    const long br = bitrateKbps() * 1000;
    const long fs = sampleRate();
    if (fs == 0)
        return 0;
    if (layer == 1)
        return int((12 * br / fs + (padding ? 1 : 0)) * 4);
    const long k = (layer == 3 && lsf) ? 72 : 144;
    return int(k * br / fs + (padding ? 1 : 0));
}

int FrameHeader::samplesPerChannel() const {
    if (layer == 1)
        return 384;
    if (layer == 3 && lsf)
        return 576;
    return 1152;
}

bool parseFrameHeader(const uint8_t* b, FrameHeader& h, bool allowFree, bool* mpeg25) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const int version = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int br = b[2] >> 4;
    const int sr = (b[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || br == 15 || sr == 3)
        return false;
    if (br == 0 && !allowFree)
        return false;
    if (mpeg25)
        *mpeg25 = version == 0;
    h.lsf = version != 3;
    h.mpeg25 = version == 0;
    h.layer = 4 - layerBits;
    h.crc = (b[1] & 1) == 0;
    h.bitrateIndex = br;
    h.sampleRateIndex = sr;
    h.padding = (b[2] >> 1) & 1;
    h.mode = ChannelMode((b[3] >> 6) & 3);
    h.modeExtension = (b[3] >> 4) & 3;
    std::memcpy(h.bytes, b, 4);
    return true;
}

AmpDecoder::AmpDecoder()
    : m_in(kInputChunk * 2), m_frame(4096 + kPadding), m_state(std::make_unique<DecoderState>()) {}

AmpDecoder::~AmpDecoder() = default;

const char* AmpDecoder::name() const {
    return "Quillreel MPEG audio decoder (layers I, II, III)";
}

int AmpDecoder::initTables() {
    tables();
    return kAmpNoError;
}

void AmpDecoder::setBitsource(IAMPBitsource* source) {
    m_source = source;
    m_inPos = m_inEnd = 0;
    m_inEof = m_inError = false;
}

void AmpDecoder::setOutputBuffer(int16_t* pcm, size_t capacity) {
    m_pcm = pcm;
    m_pcmCapacity = capacity;
}

AmpStreamDescription AmpDecoder::streamDescription() const {
    AmpStreamDescription d;
    if (!m_locked)
        return d;
    d.bitrateKbps = m_header.bitrateKbps();
    d.sampleRate = m_header.sampleRate();
    d.layer = m_header.layer;
    d.version = m_header.lsf ? 2 : 1;
    d.mode = m_header.mode;
    return d;
}

const char* AmpDecoder::errorText(int code) {
    switch (code) {
    case kAmpNoError:
        return "no error";
    case kAmpEndOfFile:
        return "end of file";
    case kAmpReadError:
        return "read error";
    case kAmpMpeg25:
        return "cannot decode MPEG-2.5 streams";
    case kAmpFreeFormat:
        return "cannot decode free-form streams";
    case kAmpSyncError:
        return "sync error";
    case kAmpInternalError:
        return "internal error";
    case kAmpIncompleteFrame:
        return "incomplete frame";
    default:
        return "unknown error code";
    }
}

void AmpDecoder::reset() {
    m_haveHeader = m_haveBody = m_locked = false;
    m_delivered = 0;
    m_crcFailures = 0;
    m_state->clear();
}

bool AmpDecoder::ensureInput(size_t n) {
    while (m_inEnd - m_inPos < n) {
        if (m_inEof || m_inError || !m_source)
            return false;
        if (m_inPos > 0) {
            std::memmove(m_in.data(), m_in.data() + m_inPos, m_inEnd - m_inPos);
            m_inEnd -= m_inPos;
            m_inPos = 0;
        }
        if (m_in.size() - m_inEnd < kInputChunk)
            m_in.resize(m_inEnd + kInputChunk);
        const long room = long(m_in.size() - m_inEnd);
        const long got = m_source->read(m_in.data() + m_inEnd, room);
        if (got < 0 || got > room)
            m_inError = true;
        else if (got == 0)
            m_inEof = true;
        else
            m_inEnd += size_t(got);
    }
    return true;
}

int AmpDecoder::readFrameHeader() {
    m_haveHeader = m_haveBody = false;
    size_t skipped = 0;
    for (;;) {
        if (!ensureInput(4))
            return m_inError ? kAmpReadError : kAmpEndOfFile;
        const uint8_t* b = m_in.data() + m_inPos;
        // An ID3v2 tag (often large, with pictures) is skipped whole rather than searched through.
        if (b[0] == 'I' && b[1] == 'D' && b[2] == '3' && ensureInput(10)) {
            b = m_in.data() + m_inPos;
            if (b[3] != 0xFF && b[4] != 0xFF && !((b[6] | b[7] | b[8] | b[9]) & 0x80)) {
                size_t size =
                    10 + ((size_t(b[6]) << 21) | (size_t(b[7]) << 14) | (size_t(b[8]) << 7) | b[9]);
                if (b[5] & 0x10)
                    size += 10;
                while (size > 0) {
                    if (m_inEnd == m_inPos && !ensureInput(1))
                        return m_inError ? kAmpReadError : kAmpEndOfFile;
                    const size_t step = std::min(size, m_inEnd - m_inPos);
                    m_inPos += step;
                    size -= step;
                }
                continue;
            }
            b = m_in.data() + m_inPos;
        }
        FrameHeader h;
        bool mpeg25 = false;
        if (parseFrameHeader(b, h, true, &mpeg25)) {
            const bool fits =
                !m_locked ||
                (h.lsf == m_lockedHeader.lsf && h.layer == m_lockedHeader.layer &&
                 h.sampleRateIndex == m_lockedHeader.sampleRateIndex &&
                 h.channels() == m_lockedHeader.channels() && !mpeg25 && h.bitrateIndex != 0);
            // Before the stream is locked a header must be followed by another of the same kind
            // (unless the input ends first), so that junk in front of the audio is not taken for
            // it.
            bool confirmed = true;
            if (fits && !m_locked && h.bitrateIndex != 0) {
                const size_t len = size_t(h.frameBytes());
                if (len >= 4 && ensureInput(len + 4)) {
                    FrameHeader next;
                    bool next25 = false;
                    const uint8_t* n = m_in.data() + m_inPos + len;
                    confirmed = parseFrameHeader(n, next, true, &next25) && next25 == mpeg25 &&
                                next.lsf == h.lsf && next.layer == h.layer &&
                                next.sampleRateIndex == h.sampleRateIndex;
                }
                b = m_in.data() + m_inPos;
            } else if (fits && !m_locked) {
                // Free format has no length in its header: look for the next such header.
                constexpr size_t kMaxFreeFrame = 2884;
                ensureInput(kMaxFreeFrame + 4);
                b = m_in.data() + m_inPos;
                const size_t avail = m_inEnd - m_inPos;
                if (avail >= kMaxFreeFrame + 4) {
                    confirmed = false;
                    for (size_t at = 4; at + 4 <= avail && !confirmed; ++at)
                        confirmed = b[at] == 0xFF && b[at + 1] == b[1] &&
                                    (b[at + 2] & 0xFC) == (b[2] & 0xFC);
                }
            }
            if (fits && confirmed) {
                if (mpeg25)
                    return kAmpMpeg25;
                if (h.bitrateIndex == 0)
                    return kAmpFreeFormat;
                m_header = h;
                m_inPos += 4;
                std::memcpy(m_frame.data(), h.bytes, 4);
                m_haveHeader = true;
                if (!m_locked) {
                    m_locked = true;
                    m_lockedHeader = h;
                }
                return kAmpNoError;
            }
        }
        ++m_inPos;
        if (++skipped > kMaxSyncSkip)
            return kAmpSyncError;
    }
}

int AmpDecoder::readFrameBody() {
    if (!m_haveHeader)
        return kAmpInternalError;
    const size_t bytes = size_t(m_header.frameBytes());
    if (bytes < 4 || bytes + kPadding > m_frame.size())
        return kAmpInternalError;
    const size_t body = bytes - 4;
    if (!ensureInput(body)) {
        if (m_inError)
            return kAmpReadError;
        m_inPos = m_inEnd;
        return kAmpIncompleteFrame;
    }
    std::memcpy(m_frame.data() + 4, m_in.data() + m_inPos, body);
    std::memset(m_frame.data() + bytes, 0, kPadding);
    m_inPos += body;
    m_haveBody = true;
    return kAmpNoError;
}

bool AmpDecoder::checkCrc(size_t protectedBits) const {
    if (!m_header.crc)
        return true;
    uint16_t crc = crc16(m_frame.data(), 16, 16, 0xFFFF);
    crc = crc16(m_frame.data(), 48, protectedBits, crc);
    const uint16_t stored = uint16_t((m_frame[4] << 8) | m_frame[5]);
    return crc == stored;
}

void AmpDecoder::emitSilence() {
    const size_t n = size_t(m_header.samplesPerChannel() * m_header.channels());
    std::fill(m_pcm, m_pcm + n, int16_t(0));
    m_delivered = n;
}

int AmpDecoder::decodeFrame() {
    m_delivered = 0;
    if (!m_haveBody) {
        const int rc = readFrameBody();
        if (rc != kAmpNoError)
            return rc;
    }
    m_haveBody = m_haveHeader = false;
    if (!m_pcm || m_pcmCapacity < size_t(m_header.samplesPerChannel() * m_header.channels()))
        return kAmpInternalError;
    switch (m_header.layer) {
    case 1:
        return decodeLayer1();
    case 2:
        return decodeLayer2();
    default:
        return decodeLayer3();
    }
}

// ---------------------------------------------------------------------------------------
// Layers I and II

namespace {

void synthesizeSlots(DecoderState& st, int nch, int slots, int16_t* pcm) {
    for (int s = 0; s < slots; ++s)
        for (int ch = 0; ch < nch; ++ch)
            st.synthesize(st.synth, ch, st.sb[ch][s], pcm + s * 32 * nch + ch, nch);
}

inline float dequantize(uint32_t code, uint32_t steps) {
    return float(int64_t(2 * code) + 1 - int64_t(steps)) / float(steps);
}

} // namespace

int AmpDecoder::decodeLayer1() {
    DecoderState& st = *m_state;
    const Tables& t = tables();
    const int nch = m_header.channels();
    const size_t bytes = size_t(m_header.frameBytes());
    const int bound =
        m_header.mode == ChannelMode::JointStereo ? (m_header.modeExtension + 1) * 4 : 32;
    BitReader br(m_frame.data(), m_header.crc ? 48 : 32, bytes * 8);
    int alloc[2][32] = {};
    int scale[2][32] = {};
    for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < (sb < bound ? nch : 1); ++ch)
            alloc[ch][sb] = int(br.get(4));
    for (int sb = bound; sb < 32; ++sb)
        alloc[1][sb] = alloc[0][sb];
    if (!checkCrc(size_t(4 * (bound * nch + (32 - bound) * (nch == 2 ? 1 : 0))))) {
        ++m_crcFailures;
        st.clear();
        emitSilence();
        return kAmpNoError;
    }
    for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < nch; ++ch)
            if (alloc[ch][sb])
                scale[ch][sb] = int(br.get(6));
    for (int s = 0; s < 12; ++s) {
        for (int sb = 0; sb < 32; ++sb) {
            uint32_t shared = 0;
            for (int ch = 0; ch < nch; ++ch) {
                const int a = alloc[ch][sb];
                if (a == 0 || a == 15) {
                    st.sb[ch][s][sb] = 0.0f;
                    continue;
                }
                const uint32_t code = (sb >= bound && ch == 1) ? shared : br.get(a + 1);
                shared = code;
                const uint32_t steps = (1u << (a + 1)) - 1;
                st.sb[ch][s][sb] = dequantize(code, steps) * t.layer12Scale[scale[ch][sb]];
            }
        }
    }
    if (br.overrun()) {
        emitSilence();
        return kAmpNoError;
    }
    synthesizeSlots(st, nch, 12, m_pcm);
    m_delivered = size_t(384 * nch);
    return kAmpNoError;
}

int AmpDecoder::decodeLayer2() {
    DecoderState& st = *m_state;
    const Tables& t = tables();
    const int nch = m_header.channels();
    const size_t bytes = size_t(m_header.frameBytes());
    int tableIndex;
    if (m_header.lsf) {
        tableIndex = 4;
    } else {
        const long perChannel = m_header.bitrateKbps() / nch;
        if (perChannel < 56)
            tableIndex = m_header.sampleRateIndex == 2 ? 3 : 2;
        else if (perChannel <= 80)
            tableIndex = 0;
        else
            tableIndex = m_header.sampleRateIndex == 1 ? 0 : 1;
    }
    const AllocTable& table = kAllocTables[size_t(tableIndex)];
    const int sblimit = table.sblimit;
    int bound =
        m_header.mode == ChannelMode::JointStereo ? (m_header.modeExtension + 1) * 4 : sblimit;
    bound = std::min(bound, sblimit);

    BitReader br(m_frame.data(), m_header.crc ? 48 : 32, bytes * 8);
    int alloc[2][32] = {};
    int scfsi[2][32] = {};
    int scale[2][32][3] = {};
    size_t allocBits = 0;
    for (int sb = 0; sb < sblimit; ++sb) {
        const int nbal = table.rows[sb].nbal;
        if (sb < bound) {
            for (int ch = 0; ch < nch; ++ch)
                alloc[ch][sb] = int(br.get(nbal));
            allocBits += size_t(nbal * nch);
        } else {
            alloc[0][sb] = int(br.get(nbal));
            alloc[1][sb] = alloc[0][sb];
            allocBits += size_t(nbal);
        }
    }
    size_t scfsiBits = 0;
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < nch; ++ch)
            if (alloc[ch][sb]) {
                scfsi[ch][sb] = int(br.get(2));
                scfsiBits += 2;
            }
    if (!checkCrc(allocBits + scfsiBits)) {
        ++m_crcFailures;
        st.clear();
        emitSilence();
        return kAmpNoError;
    }
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < nch; ++ch) {
            if (!alloc[ch][sb])
                continue;
            int* s = scale[ch][sb];
            switch (scfsi[ch][sb]) {
            case 0:
                s[0] = int(br.get(6));
                s[1] = int(br.get(6));
                s[2] = int(br.get(6));
                break;
            case 1:
                s[0] = s[1] = int(br.get(6));
                s[2] = int(br.get(6));
                break;
            case 2:
                s[0] = s[1] = s[2] = int(br.get(6));
                break;
            default:
                s[0] = int(br.get(6));
                s[1] = s[2] = int(br.get(6));
                break;
            }
        }
    for (int gr = 0; gr < 12; ++gr) {
        for (int sb = 0; sb < 32; ++sb) {
            uint32_t shared[3] = {0, 0, 0};
            for (int ch = 0; ch < nch; ++ch) {
                float* out0 = &st.sb[ch][gr * 3][sb];
                const int a = sb < sblimit ? alloc[ch][sb] : 0;
                const uint8_t qi = a ? table.rows[sb].quant[size_t(a)] : 0xff;
                if (qi == 0xff) {
                    out0[0] = out0[32] = out0[64] = 0.0f;
                    continue;
                }
                const QuantClass& q = kQuantClass[qi];
                uint32_t codes[3];
                if (sb >= bound && ch == 1) {
                    std::copy(shared, shared + 3, codes);
                } else if (q.grouped) {
                    uint32_t c = br.get(q.bits);
                    for (uint32_t& v : codes) {
                        v = c % q.steps;
                        c /= q.steps;
                    }
                } else {
                    for (uint32_t& v : codes)
                        v = br.get(q.bits);
                }
                if (sb >= bound && ch == 0)
                    std::copy(codes, codes + 3, shared);
                const float sf = t.layer12Scale[scale[ch][sb][gr / 4]];
                for (int j = 0; j < 3; ++j)
                    out0[j * 32] = dequantize(std::min(codes[j], q.steps - 1), q.steps) * sf;
            }
        }
    }
    if (br.overrun()) {
        emitSilence();
        return kAmpNoError;
    }
    synthesizeSlots(st, nch, 36, m_pcm);
    m_delivered = size_t(1152 * nch);
    return kAmpNoError;
}

// ---------------------------------------------------------------------------------------
// Layer III

namespace {

// Reads the side information; returns its size in bytes or 0 when it does not fit.
size_t readSideInfo(BitReader& br, const FrameHeader& h, SideInfo& si) {
    const int nch = h.channels();
    const int granules = h.lsf ? 1 : 2;
    if (h.lsf) {
        si.mainDataBegin = int(br.get(8));
        br.get(nch == 1 ? 1 : 2);
    } else {
        si.mainDataBegin = int(br.get(9));
        br.get(nch == 1 ? 5 : 3);
        for (int ch = 0; ch < nch; ++ch)
            for (int b = 0; b < 4; ++b)
                si.scfsi[ch][b] = int(br.get(1));
    }
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            GranuleChannel& g = si.gr[gr][ch];
            g.part23Length = int(br.get(12));
            g.bigValues = int(br.get(9));
            g.globalGain = int(br.get(8));
            g.scalefacCompress = int(br.get(h.lsf ? 9 : 4));
            const bool windowSwitching = br.get(1);
            if (windowSwitching) {
                g.blockType = int(br.get(2));
                g.mixed = br.get(1);
                g.tableSelect[0] = int(br.get(5));
                g.tableSelect[1] = int(br.get(5));
                g.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w)
                    g.subblockGain[w] = int(br.get(3));
                g.region0Count = (g.blockType == 2 && !g.mixed) ? 8 : 7;
                g.region1Count = 20 - g.region0Count;
            } else {
                g.blockType = 0;
                g.mixed = false;
                for (int r = 0; r < 3; ++r)
                    g.tableSelect[r] = int(br.get(5));
                g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
                g.region0Count = int(br.get(4));
                g.region1Count = int(br.get(3));
            }
            g.preflag = h.lsf ? false : bool(br.get(1));
            g.scalefacScale = int(br.get(1));
            g.count1Table = int(br.get(1));
            // A window switch with block type 0 is not allowed; big_values covers at most 576
            // lines.
            if ((windowSwitching && g.blockType == 0) || g.bigValues > 288)
                return 0;
        }
    }
    if (br.overrun())
        return 0;
    return size_t(h.lsf ? (nch == 1 ? 9 : 17) : (nch == 1 ? 17 : 32));
}

// Long bands below the mixed-block boundary of 36 lines.
int mixedLongBands(const uint16_t* sfbLong) {
    int n = 0;
    while (sfbLong[n] < 36)
        ++n;
    return n;
}

void readScalefactorsMpeg1(BitReader& br, const GranuleChannel& g, const SideInfo& si, int gr,
                           int ch, DecoderState& st, const uint16_t* sfbLong) {
    const int slen1 = kSlen[0][size_t(g.scalefacCompress)];
    const int slen2 = kSlen[1][size_t(g.scalefacCompress)];
    int* lf = st.sfLong[ch];
    if (g.blockType == 2) {
        int firstShort = 0;
        if (g.mixed) {
            const int nLong = mixedLongBands(sfbLong);
            for (int sfb = 0; sfb < nLong; ++sfb)
                lf[sfb] = int(br.get(slen1));
            firstShort = 3;
        }
        for (int sfb = firstShort; sfb < 12; ++sfb)
            for (int w = 0; w < 3; ++w)
                st.sfShort[ch][sfb][w] = int(br.get(sfb < 6 ? slen1 : slen2));
        for (int w = 0; w < 3; ++w)
            st.sfShort[ch][12][w] = 0;
        return;
    }
    static constexpr int kGroups[5] = {0, 6, 11, 16, 21};
    for (int b = 0; b < 4; ++b) {
        if (gr == 1 && si.scfsi[ch][b])
            continue; // kept from granule 0
        for (int sfb = kGroups[b]; sfb < kGroups[b + 1]; ++sfb)
            lf[sfb] = int(br.get(b < 2 ? slen1 : slen2));
    }
    lf[21] = 0;
}

void readScalefactorsLsf(BitReader& br, const GranuleChannel& g, const FrameHeader& h, int ch,
                         DecoderState& st, const uint16_t* sfbLong, bool* preflag) {
    const bool intensityRight =
        ch == 1 && h.mode == ChannelMode::JointStereo && (h.modeExtension & 1);
    int slen[4] = {0, 0, 0, 0};
    int tab;
    int sfc = g.scalefacCompress;
    *preflag = false;
    if (!intensityRight) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            tab = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            tab = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            tab = 2;
            *preflag = true;
        }
    } else {
        int isc = sfc >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = (isc % 36) % 6;
            tab = 3;
        } else if (isc < 244) {
            isc -= 180;
            slen[0] = (isc & 63) >> 4;
            slen[1] = (isc & 15) >> 2;
            slen[2] = isc & 3;
            tab = 4;
        } else {
            isc -= 244;
            slen[0] = isc / 3;
            slen[1] = isc % 3;
            tab = 5;
        }
    }
    const int kind = g.blockType == 2 ? (g.mixed ? 2 : 1) : 0;
    const auto& counts = kLsfSfbCount[size_t(tab)][size_t(kind)];
    int values[39] = {};
    int maxes[39] = {};
    int n = 0;
    for (int grp = 0; grp < 4; ++grp)
        for (int i = 0; i < counts[size_t(grp)] && n < 39; ++i, ++n) {
            values[n] = int(br.get(slen[grp]));
            maxes[n] = (1 << slen[grp]) - 1;
        }
    int k = 0;
    if (kind == 0) {
        for (int sfb = 0; sfb < 21; ++sfb, ++k) {
            st.sfLong[ch][sfb] = values[k];
            if (intensityRight)
                st.isMaxLong[sfb] = maxes[k];
        }
        st.sfLong[ch][21] = 0;
        if (intensityRight)
            st.isMaxLong[21] = st.isMaxLong[20];
        return;
    }
    int firstShort = 0;
    if (kind == 2) {
        const int nLong = mixedLongBands(sfbLong);
        for (int sfb = 0; sfb < nLong; ++sfb, ++k) {
            st.sfLong[ch][sfb] = values[k];
            if (intensityRight)
                st.isMaxLong[sfb] = maxes[k];
        }
        firstShort = 3;
    }
    for (int sfb = firstShort; sfb < 12; ++sfb)
        for (int w = 0; w < 3; ++w, ++k) {
            st.sfShort[ch][sfb][w] = values[k];
            if (intensityRight)
                st.isMaxShort[sfb] = maxes[k];
        }
    for (int w = 0; w < 3; ++w)
        st.sfShort[ch][12][w] = 0;
    if (intensityRight)
        st.isMaxShort[12] = st.isMaxShort[11];
}

// Huffman data of one granule and channel into is[]; returns the count of lines decoded
// (everything above is zero).
int readHuffman(BitReader& br, const GranuleChannel& g, size_t endBit, const uint16_t* sfbLong,
                const uint16_t* sfbShort, int* is) {
    const Tables& t = tables();
    int region1, region2;
    if (g.blockType == 2) {
        region1 = g.mixed ? 36 : sfbShort[3] * 3;
        region2 = 576;
    } else if (g.blockType != 0) {
        region1 = sfbLong[8];
        region2 = 576;
    } else {
        region1 = sfbLong[std::min(g.region0Count + 1, 22)];
        region2 = sfbLong[std::min(g.region0Count + g.region1Count + 2, 22)];
    }
    const int bigEnd = std::min(g.bigValues * 2, 576);
    region1 = std::min(region1, bigEnd);
    region2 = std::min(std::max(region2, region1), bigEnd);
    int i = 0;
    for (int r = 0; r < 3; ++r) {
        const int stop = r == 0 ? region1 : (r == 1 ? region2 : bigEnd);
        const int ts = g.tableSelect[r];
        const HuffPairSource& src = kHuffPairs[size_t(ts)];
        if (!src.ylen) {
            for (; i < stop; ++i)
                is[i] = 0;
            continue;
        }
        const HuffTable& ht = t.pairs[size_t(ts)];
        const int linbits = src.linbits;
        for (; i < stop; i += 2) {
            const int sym = huffDecode(ht, br);
            int x = sym >> 4, y = sym & 15;
            if (linbits && x == 15)
                x += int(br.get(linbits));
            if (x && br.get(1))
                x = -x;
            if (linbits && y == 15)
                y += int(br.get(linbits));
            if (y && br.get(1))
                y = -y;
            is[i] = x;
            is[i + 1] = y;
        }
    }
    while (i + 4 <= 576 && br.position() < endBit) {
        int v;
        if (g.count1Table)
            v = 15 - int(br.get(4));
        else
            v = huffDecode(t.quadA, br);
        int q[4] = {(v >> 3) & 1, (v >> 2) & 1, (v >> 1) & 1, v & 1};
        for (int& x : q)
            if (x && br.get(1))
                x = -x;
        if (br.position() > endBit)
            break; // the last code word ran past the granule's bits: it is not data
        std::copy(q, q + 4, is + i);
        i += 4;
    }
    std::fill(is + i, is + 576, 0);
    return i;
}

// Dequantises is[] into xr[] in bitstream order.
void dequantizeGranule(const GranuleChannel& g, bool preflag, int ch, const DecoderState& st,
                       const int* is, int count, const uint16_t* sfbLong, const uint16_t* sfbShort,
                       float* xr) {
    const Tables& t = tables();
    const int shift = g.scalefacScale ? 4 : 2;
    static const float kQuarter[4] = {1.0f, 1.18920711500272f, 1.41421356237310f,
                                      1.68179283050743f};
    auto scaleOf = [&](int exp4) { return std::ldexp(kQuarter[exp4 & 3], exp4 >> 2); };
    auto apply = [&](int from, int to, float scale) {
        for (int i = from; i < to && i < count; ++i) {
            const int v = is[i];
            if (v == 0) {
                xr[i] = 0.0f;
            } else {
                const int a = std::min(std::abs(v), 8206);
                xr[i] = (v < 0 ? -t.pow43[a] : t.pow43[a]) * scale;
            }
        }
    };
    std::fill(xr, xr + 576, 0.0f);
    const int base = g.globalGain - 210;
    int line = 0;
    if (g.blockType != 2 || g.mixed) {
        const int nLong = g.blockType == 2 ? mixedLongBands(sfbLong) : 22;
        for (int sfb = 0; sfb < nLong; ++sfb) {
            const int sf = st.sfLong[ch][sfb] + (preflag ? kPretab[size_t(sfb)] : 0);
            apply(sfbLong[sfb], sfbLong[sfb + 1], scaleOf(base - sf * shift));
        }
        line = sfbLong[nLong];
    }
    if (g.blockType == 2) {
        for (int sfb = g.mixed ? 3 : 0; sfb < 13; ++sfb) {
            const int width = sfbShort[sfb + 1] - sfbShort[sfb];
            for (int w = 0; w < 3; ++w) {
                const int sf = st.sfShort[ch][sfb][w];
                apply(line, line + width, scaleOf(base - 8 * g.subblockGain[w] - sf * shift));
                line += width;
            }
        }
    }
}

// Stereo processing in bitstream order (both channels carry the same block layout in joint stereo).
void stereoProcess(DecoderState& st, const FrameHeader& h, const GranuleChannel& g1,
                   const uint16_t* sfbLong, const uint16_t* sfbShort) {
    const Tables& t = tables();
    const bool ms = h.modeExtension & 2;
    const bool intensity = h.modeExtension & 1;
    float* l = st.xr[0];
    float* r = st.xr[1];
    constexpr float kInvSqrt2 = 0.70710678118654752f;
    std::array<bool, 576> isLine{};
    auto setIntensity = [&](int from, int to, int pos, int maxPos) {
        float kl, kr;
        if (!h.lsf) {
            if (pos >= 7)
                return;
            kl = t.isRatio[pos][0];
            kr = t.isRatio[pos][1];
        } else {
            if (pos >= maxPos)
                return;
            const float f = t.lsfIsRatio[g1.scalefacCompress & 1][(pos + 1) / 2];
            if (pos & 1) {
                kl = f;
                kr = 1.0f;
            } else {
                kl = 1.0f;
                kr = f;
            }
        }
        for (int i = from; i < to; ++i) {
            const float v = l[i];
            l[i] = v * kl;
            r[i] = v * kr;
            isLine[size_t(i)] = true;
        }
    };
    if (intensity) {
        if (g1.blockType == 2) {
            // Short bands: the intensity region of each window starts above its last non-zero band.
            const int firstShort = g1.mixed ? 3 : 0;
            const int longEnd = g1.mixed ? sfbLong[mixedLongBands(sfbLong)] : 0;
            bool shortNonzero = false;
            for (int w = 0; w < 3; ++w) {
                int lastNz = firstShort - 1;
                int line = longEnd;
                for (int sfb = firstShort; sfb < 13; ++sfb) {
                    const int width = sfbShort[sfb + 1] - sfbShort[sfb];
                    const int start = line + w * width;
                    for (int i = start; i < start + width; ++i)
                        if (r[i] != 0.0f) {
                            lastNz = sfb;
                            break;
                        }
                    line += 3 * width;
                }
                if (lastNz >= firstShort)
                    shortNonzero = true;
                line = longEnd;
                for (int sfb = firstShort; sfb < 13; ++sfb) {
                    const int width = sfbShort[sfb + 1] - sfbShort[sfb];
                    if (sfb > lastNz) {
                        const int pb = sfb == 12 ? 11 : sfb;
                        const int start = line + w * width;
                        setIntensity(start, start + width, st.sfShort[1][pb][w], st.isMaxShort[pb]);
                    }
                    line += 3 * width;
                }
            }
            if (g1.mixed && !shortNonzero) {
                const int nLong = mixedLongBands(sfbLong);
                int lastNz = -1;
                for (int sfb = 0; sfb < nLong; ++sfb)
                    for (int i = sfbLong[sfb]; i < sfbLong[sfb + 1]; ++i)
                        if (r[i] != 0.0f)
                            lastNz = sfb;
                for (int sfb = lastNz + 1; sfb < nLong; ++sfb)
                    setIntensity(sfbLong[sfb], sfbLong[sfb + 1], st.sfLong[1][sfb],
                                 st.isMaxLong[sfb]);
            }
        } else {
            int last = -1;
            for (int i = 575; i >= 0; --i)
                if (r[i] != 0.0f) {
                    last = i;
                    break;
                }
            int sfb = 0;
            while (sfb < 22 && sfbLong[sfb + 1] <= last)
                ++sfb;
            if (last >= 0)
                ++sfb;
            for (; sfb < 22; ++sfb) {
                const int pb = sfb == 21 ? 20 : sfb;
                setIntensity(sfbLong[sfb], sfbLong[sfb + 1], st.sfLong[1][pb], st.isMaxLong[pb]);
            }
        }
    }
    if (ms) {
        for (int i = 0; i < 576; ++i) {
            if (isLine[size_t(i)])
                continue;
            const float m = l[i], s = r[i];
            l[i] = (m + s) * kInvSqrt2;
            r[i] = (m - s) * kInvSqrt2;
        }
    }
}

// From bitstream order to the filter-bank order: xr[sb * 18 + window * 6 + k] for short blocks.
void reorderShort(const GranuleChannel& g, const uint16_t* sfbLong, const uint16_t* sfbShort,
                  float* xr) {
    float tmp[576];
    std::copy(xr, xr + 576, tmp);
    int line = g.mixed ? sfbLong[mixedLongBands(sfbLong)] : 0;
    for (int sfb = g.mixed ? 3 : 0; sfb < 13; ++sfb) {
        const int start = sfbShort[sfb];
        const int width = sfbShort[sfb + 1] - start;
        for (int w = 0; w < 3; ++w)
            for (int j = 0; j < width; ++j) {
                const int f = start + j;
                xr[(f / 6) * 18 + w * 6 + (f % 6)] = tmp[line++];
            }
    }
}

void aliasReduce(float* xr, int subbands) {
    const Tables& t = tables();
    for (int sb = 1; sb < subbands; ++sb) {
        float* lo = xr + sb * 18 - 1;
        float* hi = xr + sb * 18;
        for (int i = 0; i < 8; ++i) {
            const float a = lo[-i], b = hi[i];
            lo[-i] = a * t.aliasCs[i] - b * t.aliasCa[i];
            hi[i] = b * t.aliasCs[i] + a * t.aliasCa[i];
        }
    }
}

// IMDCT, windowing and overlap of one subband; writes 18 time samples to out[i * 32].
void imdctSubband(const float* x, int blockType, float* overlap, float* out) {
    const Tables& t = tables();
    float y[36];
    if (blockType != 2) {
        // The 36 outputs are two mirrored halves: y[17 - i] = -y[i] and y[35 - i] = y[18 + i].
        const float* win = t.window[blockType];
        for (int i = 0; i < 9; ++i) {
            float a = 0.0f, b = 0.0f;
            for (int k = 0; k < 18; ++k) {
                a += x[k] * t.imdctLong[i][k];
                b += x[k] * t.imdctLong[18 + i][k];
            }
            y[i] = a * win[i];
            y[17 - i] = -a * win[17 - i];
            y[18 + i] = b * win[18 + i];
            y[35 - i] = b * win[35 - i];
        }
    } else {
        std::fill(y, y + 36, 0.0f);
        for (int w = 0; w < 3; ++w) {
            for (int i = 0; i < 12; ++i) {
                float s = 0.0f;
                for (int k = 0; k < 6; ++k)
                    s += x[w * 6 + k] * t.imdctShort[i][k];
                y[6 + 6 * w + i] += s * t.window[2][i];
            }
        }
    }
    for (int i = 0; i < 18; ++i) {
        out[i * 32] = y[i] + overlap[i];
        overlap[i] = y[18 + i];
    }
}

} // namespace

int AmpDecoder::decodeLayer3() {
    DecoderState& st = *m_state;
    const FrameHeader& h = m_header;
    const int nch = h.channels();
    const size_t bytes = size_t(h.frameBytes());
    const size_t sideStart = h.crc ? 6 : 4;
    SideInfo si;
    BitReader sbr(m_frame.data(), sideStart * 8, bytes * 8);
    const size_t sideBytes = readSideInfo(sbr, h, si);
    const bool sideOk = sideBytes != 0 && sideStart + sideBytes <= bytes;
    const bool crcOk = !sideOk || checkCrc(sideBytes * 8);
    if (!crcOk)
        ++m_crcFailures;

    // Append this frame's main data behind what the reservoir holds.
    const size_t mainStart = sideOk ? sideStart + sideBytes : bytes;
    const size_t mainLen = bytes - mainStart;
    const size_t held = st.reservoirLen;
    if (held + mainLen + kPadding > st.reservoir.size())
        return kAmpInternalError;
    std::memcpy(st.reservoir.data() + held, m_frame.data() + mainStart, mainLen);
    const size_t total = held + mainLen;
    std::memset(st.reservoir.data() + total, 0, kPadding);
    auto keepTail = [&] {
        const size_t keep = std::min(total, kReservoirKeep);
        std::memmove(st.reservoir.data(), st.reservoir.data() + total - keep, keep);
        st.reservoirLen = keep;
    };

    if (!sideOk || !crcOk || size_t(si.mainDataBegin) > held) {
        keepTail();
        emitSilence();
        return kAmpNoError;
    }

    const size_t table = size_t((h.lsf ? 3 : 0) + h.sampleRateIndex);
    const uint16_t* sfbLong = kSfbLong[table].data();
    const uint16_t* sfbShort = kSfbShort[table].data();
    const int granules = h.lsf ? 1 : 2;
    const SynthesisFn synth = st.synthesize;
    BitReader br(st.reservoir.data(), (held - size_t(si.mainDataBegin)) * 8, total * 8);
    size_t granuleStart = br.position();
    alignas(16) float samples[18][32];
    int is[576];
    for (int gr = 0; gr < granules; ++gr) {
        bool bad = false;
        for (int ch = 0; ch < nch; ++ch) {
            const GranuleChannel& g = si.gr[gr][ch];
            const size_t endBit = granuleStart + size_t(g.part23Length);
            br.seek(granuleStart);
            bool preflag = g.preflag;
            if (h.lsf)
                readScalefactorsLsf(br, g, h, ch, st, sfbLong, &preflag);
            else
                readScalefactorsMpeg1(br, g, si, gr, ch, st, sfbLong);
            int count = 0;
            if (br.position() <= endBit)
                count = readHuffman(br, g, endBit, sfbLong, sfbShort, is);
            else
                bad = true;
            if (endBit > br.end())
                bad = true;
            dequantizeGranule(g, preflag, ch, st, is, count, sfbLong, sfbShort, st.xr[ch]);
            st.nonzero[ch] = count;
            granuleStart = endBit;
        }
        if (bad || br.overrun()) {
            for (int ch = 0; ch < nch; ++ch)
                std::fill(st.xr[ch], st.xr[ch] + 576, 0.0f);
        }
        int limit = std::max(st.nonzero[0], nch == 2 ? st.nonzero[1] : 0);
        if (nch == 2 && h.mode == ChannelMode::JointStereo && h.modeExtension)
            stereoProcess(st, h, si.gr[gr][1], sfbLong, sfbShort);
        for (int ch = 0; ch < nch; ++ch) {
            const GranuleChannel& g = si.gr[gr][ch];
            float* xr = st.xr[ch];
            if (g.blockType == 2)
                limit = 576; // reordering spreads the short windows over every subband
            if (g.blockType == 2)
                reorderShort(g, sfbLong, sfbShort, xr);
            if (g.blockType != 2)
                aliasReduce(xr, 32);
            else if (g.mixed)
                aliasReduce(xr, 2);
            // Above the last non-zero line (widened by one subband for the alias butterflies)
            // the IMDCT input is zero and only the overlap of the previous granule remains.
            const int active = std::min(32, (limit + 17) / 18 + 1);
            for (int sb = 0; sb < 32; ++sb) {
                if (sb >= active) {
                    float* ov = st.overlap[ch][sb];
                    for (int i = 0; i < 18; ++i) {
                        samples[i][sb] = ov[i];
                        ov[i] = 0.0f;
                    }
                } else {
                    // The two lowest subbands of any switched block with the mixed flag use the
                    // normal window.
                    const int bt = (g.mixed && sb < 2) ? 0 : g.blockType;
                    imdctSubband(xr + sb * 18, bt, st.overlap[ch][sb], &samples[0][sb]);
                }
                if (sb & 1)
                    for (int i = 1; i < 18; i += 2)
                        samples[i][sb] = -samples[i][sb];
            }
            int16_t* pcm = m_pcm + size_t(gr * 576 * nch + ch);
            for (int i = 0; i < 18; ++i)
                synth(st.synth, ch, samples[i], pcm + i * 32 * nch, nch);
        }
    }
    keepTail();
    m_delivered = size_t(granules * 576 * nch);
    return kAmpNoError;
}

} // namespace quil::mpeg
