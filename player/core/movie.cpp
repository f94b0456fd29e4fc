// Loading follows the header's own fields and nothing else (type and creator are not looked
// at). Where the file contradicts itself the loader keeps what can be shown safely: a frame
// count beyond the records is cut to the records there are, an audio start outside the
// records means no sound, and colour table entries outside record 1 or past entry 255 stay
// as they were.
#include "player/core/movie.h"

#include "moviedb/byteorder.h"
#include "moviedb/moviedbreader.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"
#include "moviedb/payload_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace quil {

namespace {

class ReaderRecords final : public MovieRecords {
public:
    MovieDbReader reader;

    int count() const override { return reader.count(); }
    uint32_t size(int index) const override {
        return index >= 0 && index < reader.count() ? reader.size(index) : 0;
    }
    std::optional<std::span<const uint8_t>> get(int index) override {
        const uint8_t* data = reader.get(index);
        if (!data) {
            return std::nullopt;
        }
        m_held[index] = data;
        return std::span<const uint8_t>(data, reader.size(index));
    }
    void release(int index) override {
        auto it = m_held.find(index);
        if (it != m_held.end()) {
            const uint8_t* data = it->second;
            if (reader.useCount(index) <= 1) {
                m_held.erase(it);
            }
            reader.release(data);
        }
    }

private:
    std::unordered_map<int, const uint8_t*> m_held;
};

} // namespace

FramePayloadResult MoviePayloadDecoder::decode(std::span<const uint8_t> payload, int width, int rows,
                                               std::span<uint8_t> out, std::span<uint8_t> previous) {
    const PayloadResult result = decodeFramePayload(payload, width, rows, out, previous);
    return {result.decoded, result.next};
}

std::unique_ptr<MovieRecords> openMovieFile(const std::string& path) {
    auto records = std::make_unique<ReaderRecords>();
    if (records->reader.open(path) != MovieDbError::Ok) {
        return nullptr;
    }
    return records;
}

std::unique_ptr<MovieRecords> openMovieBytes(std::span<const uint8_t> bytes) {
    auto records = std::make_unique<ReaderRecords>();
    if (records->reader.openMemory(bytes) != MovieDbError::Ok) {
        return nullptr;
    }
    return records;
}

Movie::Movie(PlayerPrompt& prompt)
    : m_prompt(prompt), m_ownPayloads(std::make_unique<MoviePayloadDecoder>()), m_frames(*m_ownPayloads) {}

Movie::Movie(PlayerPrompt& prompt, FramePayloadDecoder& payloads) : m_prompt(prompt), m_frames(payloads) {}

Movie::~Movie() { close(); }

void Movie::releaseAudio() {
    if (m_audioHolding && m_records) {
        m_records->release(m_audioRecord);
    }
    m_audioHolding = false;
    m_audioHeld = {};
}

void Movie::resetState() {
    releaseAudio();
    m_audioRecord = -1;
    m_audioCapacity = m_audioRead = 0;
    m_adpcmState = {};
}

void Movie::close() {
    resetState();
    m_frames.close();
    m_records.reset();
    m_width = m_rows = m_colorMode = m_keyInterval = 0;
    m_frameCount = 0;
    m_firstAudioRecord = -1;
    m_adpcm = m_hifi = false;
    m_frameRate = 0;
    m_colorTable.fill(0);
}

bool Movie::Load(const std::string& path) {
    close();
    return Load(openMovieFile(path));
}

bool Movie::Load(std::unique_ptr<MovieRecords> records) {
    close();
    if (!records || records->count() < 1) {
        return false;
    }
    m_records = std::move(records);
    auto record0 = m_records->get(0);
    if (!record0) {
        close();
        return false;
    }
    const bool ok = readHeader(*record0);
    m_records->release(0);
    if (!ok) {
        close();
        return false;
    }
    if (m_frameCount > 0) {
        auto record1 = m_records->get(1);
        if (!record1) {
            close();
            return false;
        }
        readColorTable(*record1);
        m_records->release(1);
    }
    m_frames.open(m_records.get(), m_width, m_rows, m_keyInterval, m_frameCount);
    SeekAudio(0);
    return true;
}

bool Movie::readHeader(std::span<const uint8_t> record0) {
    if (record0.size() < size_t(kScrambledAreaSize)) {
        return false;
    }
    std::array<uint8_t, kScrambledAreaSize> original;
    std::memcpy(original.data(), record0.data(), original.size());
    std::array<uint8_t, kScrambledAreaSize> header = original;
    while (loadBE16(header.data()) != 0) {
        std::optional<std::string> password = m_prompt.askPassword(kPasswordPromptText);
        if (!password || password->empty()) {
            return false;
        }
        if (password->size() > kMaxPasswordLength) {
            password->resize(kMaxPasswordLength);
        }
        scrambleHeaderArea(header, *password);
        if (loadBE16(header.data()) != 0) {
            m_prompt.showMessage(kWrongPasswordText, kCannotOpenCaption, PromptIcon::Warning);
            header = original;
        }
    }

    MovieHeader fields;
    if (MovieHeader::decode(header, fields) == MovieHeaderError::TooShort) {
        return false;
    }
    m_width = int16_t(fields.width);
    m_rows = int16_t(fields.rows);
    m_colorMode = fields.colorMode;
    m_adpcm = fields.audioFormat == kAudioFormatAdpcm;
    m_hifi = fields.audioFormat == kAudioFormatHifi;
    m_firstAudioRecord = fields.hasAudio() ? int(fields.firstAudioRecord) : -1;
    if (m_firstAudioRecord < 1 || m_firstAudioRecord >= m_records->count()) {
        m_firstAudioRecord = -1;
    }
    if (m_colorMode != kColorModeAudioOnly) {
        m_frameRate = fields.frameRate();
        m_frameCount = std::min<int>(fields.frameCount, m_records->count() - 1);
        m_keyInterval = std::max<int>(int16_t(fields.keyFrameInterval), 0);
    }
    if (m_frameCount > 0) {
        // Pictures must fit the display bitmap, and frames need a rate to be played at.
        if (m_width <= 0 || m_rows <= 0 || m_width > FrameDecoder::kMaxWidth || m_rows > FrameDecoder::kMaxRows ||
            !(m_frameRate > 0) || !std::isfinite(m_frameRate)) {
            return false;
        }
    }
    return true;
}

void Movie::readColorTable(std::span<const uint8_t> record1) {
    m_colorTable.fill(0);
    m_colorTable[0] = 0xFFFFFF;
    m_colorTable[255] = 0;
    if (record1.size() < 12) {
        return;
    }
    const uint32_t first = getBE16(record1, 4);
    const uint32_t count = getBE16(record1, 6);
    const uint32_t offset = getBE32(record1, 8);
    for (uint32_t k = 0; k < count && first + k < 256; ++k) {
        const uint64_t at = uint64_t(offset) + 3 * uint64_t(k);
        if (at + 3 > record1.size()) {
            break;
        }
        const uint8_t* rgb = record1.data() + at;
        m_colorTable[first + k] = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
}

int64_t Movie::totalAudioSamples() const {
    if (!hasAudio()) {
        return 0;
    }
    int64_t bytes = 0;
    for (int i = m_firstAudioRecord; i < m_records->count(); ++i) {
        bytes += m_records->size(i);
    }
    return m_adpcm ? 2 * bytes : bytes;
}

PositionSetup Movie::positionSetup() const {
    return computePositionSetup(m_frameCount, m_frameRate, totalAudioSamples(), audioSamplesPerSecond());
}

const uint8_t* Movie::GetFrame(int frame) { return m_frames.GetFrame(frame); }

bool Movie::showFrame(int frame, uint8_t* destination, ptrdiff_t pitch) {
    const uint8_t* picture = GetFrame(frame);
    if (!picture) {
        return false;
    }
    for (int r = 0; r < m_rows; ++r) {
        std::memcpy(destination + r * pitch, picture + size_t(r) * size_t(m_width), size_t(m_width));
    }
    return true;
}

void Movie::SeekAudio(int64_t sample) {
    resetState();
    if (!hasAudio()) {
        return;
    }
    m_audioRecord = m_firstAudioRecord - 1;
    std::array<int16_t, 1024> discard;
    while (sample > 0) {
        const int n = decodeAudio(discard.data(), int(std::min<int64_t>(sample, int64_t(discard.size()))));
        if (n <= 0) {
            break;
        }
        sample -= n;
    }
}

int Movie::decodeAudio(int16_t* out, int max) {
    if (!hasAudio()) {
        return -1;
    }
    int delivered = 0;
    while (delivered < max) {
        if (m_audioRecord < 0) {
            break; // the stream has ended
        }
        if (m_audioRead >= m_audioCapacity) {
            ++m_audioRecord;
            releaseAudio();
        }
        if (!m_audioHolding) {
            std::optional<std::span<const uint8_t>> record;
            if (m_audioRecord < m_records->count()) {
                record = m_records->get(m_audioRecord);
            }
            if (!record) {
                m_audioRecord = -1;
                break;
            }
            m_audioHeld = *record;
            m_audioHolding = true;
            m_audioRead = 0;
            m_audioCapacity = m_adpcm ? AdpcmRecordCapacity(m_audioHeld.size()) : m_audioHeld.size();
        }
        const size_t n = std::min(size_t(max - delivered), m_audioCapacity - m_audioRead);
        if (m_adpcm) {
            AdpcmDecodeSamples(m_audioHeld, m_audioRead, n, m_adpcmState, out + delivered);
        } else {
            const uint8_t* bytes = m_audioHeld.data() + m_audioRead;
            for (size_t i = 0; i < n; ++i) {
                out[delivered + int(i)] = int16_t((int(bytes[i]) - 128) * 256);
            }
        }
        m_audioRead += n;
        delivered += int(n);
    }
    return delivered;
}

} // namespace quil
