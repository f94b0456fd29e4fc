// Encoding and checked decoding of the movie header record.
#include "moviedb/movieheader.h"

#include "moviedb/byteorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quil {

namespace {

// x rounded half up into a 16-bit field; rates so low that the value would not fit are
// held at the largest value instead of wrapping.
uint16_t roundToU16(double x) {
    const double r = std::floor(x + 0.5);
    return r >= 65535.0 ? uint16_t(65535) : (r <= 0.0 ? uint16_t(0) : uint16_t(r));
}

uint32_t roundToU32(double x) {
    const double r = std::floor(x + 0.5);
    return r >= 4294967295.0 ? 0xFFFFFFFFu : (r <= 0.0 ? 0u : uint32_t(r));
}

std::string_view cutAtNul(const std::string& s) {
    return std::string_view(s).substr(0, s.find('\0'));
}

// The string starting at offset, which must end with a NUL inside the record.
bool readString(std::span<const uint8_t> record, uint32_t offset, std::string& out) {
    if (offset >= record.size()) {
        return false;
    }
    const uint8_t* begin = record.data() + offset;
    const auto* nul = static_cast<const uint8_t*>(std::memchr(begin, 0, record.size() - offset));
    if (nul == nullptr) {
        return false;
    }
    out.assign(reinterpret_cast<const char*>(begin), size_t(nul - begin));
    return true;
}

} // namespace

void MovieHeader::setFrameRate(double rate) {
    msPerFrame = roundToU16(1000.0 / rate);
    framesPerSecond = roundToU16(rate);
    framePeriod = roundToU32(655360000.0 / rate);
    flags |= kMovieFlagPeriodValid;
}

double MovieHeader::frameRate() const {
    if ((flags & kMovieFlagPeriodValid) && framePeriod != 0) {
        return 655360000.0 / framePeriod;
    }
    return double(int16_t(framesPerSecond));
}

MovieHeader MovieHeader::audioOnly(uint8_t audioFormat, bool hasAudio, uint16_t tenths) {
    MovieHeader h;
    h.audioFormat = audioFormat;
    h.colorMode = kColorModeAudioOnly;
    h.setFrameRate(10.0);
    if (hasAudio) {
        h.flags |= kMovieFlagHasAudio;
        h.firstAudioRecord = 1;
    }
    h.frameCount = tenths;
    return h;
}

std::vector<uint8_t> MovieHeader::encode() const {
    const std::string_view t = cutAtNul(title);
    const std::string_view a = cutAtNul(author);
    const uint32_t titleAt = kMovieHeaderFixedSize;
    const uint32_t authorAt = titleAt + uint32_t(t.size()) + 1;
    const uint32_t thirdAt = authorAt + uint32_t(a.size()) + 1;
    const uint32_t fourthAt = thirdAt + 1;

    std::vector<uint8_t> b(fourthAt, 0);
    uint8_t* p = b.data();
    storeBE16(p + 0, scrambleMarker);
    storeBE16(p + 2, fixedLength);
    storeBE16(p + 4, width);
    storeBE16(p + 6, rows);
    storeBE16(p + 8, bitsPerPixel);
    p[10] = audioFormat;
    p[11] = colorMode;
    storeBE16(p + 12, msPerFrame);
    storeBE16(p + 14, framesPerSecond);
    storeBE16(p + 16, keyFrameInterval);
    storeBE16(p + 18, flags);
    storeBE32(p + 20, titleAt);
    storeBE32(p + 24, authorAt);
    storeBE32(p + 28, thirdAt);
    storeBE32(p + 32, fourthAt);
    storeBE16(p + 36, frameCount);
    storeBE16(p + 38, firstAudioRecord);
    storeBE32(p + 40, framePeriod);
    std::copy(t.begin(), t.end(), p + titleAt);
    std::copy(a.begin(), a.end(), p + authorAt);
    return b;
}

MovieHeaderError MovieHeader::decode(std::span<const uint8_t> record, MovieHeader& out) {
    if (record.size() < size_t(kMovieHeaderFixedSize)) {
        return MovieHeaderError::TooShort;
    }
    MovieHeader h;
    h.scrambleMarker = getBE16(record, 0);
    h.fixedLength = getBE16(record, 2);
    h.width = getBE16(record, 4);
    h.rows = getBE16(record, 6);
    h.bitsPerPixel = getBE16(record, 8);
    h.audioFormat = record[10];
    h.colorMode = record[11];
    h.msPerFrame = getBE16(record, 12);
    h.framesPerSecond = getBE16(record, 14);
    h.keyFrameInterval = getBE16(record, 16);
    h.flags = getBE16(record, 18);
    h.titleOffset = getBE32(record, 20);
    h.authorOffset = getBE32(record, 24);
    h.thirdOffset = getBE32(record, 28);
    h.fourthOffset = getBE32(record, 32);
    h.frameCount = getBE16(record, 36);
    h.firstAudioRecord = getBE16(record, 38);
    h.framePeriod = getBE32(record, 40);
    const bool strings =
        readString(record, h.titleOffset, h.title) && readString(record, h.authorOffset, h.author);
    if (!strings) {
        h.title.clear();
        h.author.clear();
    }
    out = std::move(h);
    return strings ? MovieHeaderError::Ok : MovieHeaderError::BadStringArea;
}

} // namespace quil
