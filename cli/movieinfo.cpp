// `quillreel info`: everything shown comes from bytes of the file, so text fields are
// escaped before they reach a terminal and every count is checked against the records the
// database really holds.
#include "cli/movieinfo.h"

#include "moviedb/byteorder.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace quil::cli {

namespace {

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* f, ...) {
    char buf[256];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buf, sizeof buf, f, args);
    va_end(args);
    return buf;
}

// Printable ASCII as it is; everything else, and the backslash, as an escape.
std::string printable(std::string_view s) {
    std::string out;
    for (const char ch : s) {
        const auto c = uint8_t(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 32 && c <= 126) {
            out += ch;
        } else {
            out += format("\\x%02x", c);
        }
    }
    return out;
}

void line(std::ostream& out, std::string_view label, std::string_view value) {
    constexpr size_t kColumn = 21;
    out << label << ':';
    for (size_t i = label.size() + 1; i < kColumn; ++i) {
        out << ' ';
    }
    out << value << '\n';
}

std::string dateText(uint32_t palmTime) {
    if (palmTime < kPalmEpochOffset) {
        return format("%u (before 1970)", palmTime);
    }
    const std::time_t t = std::time_t(palmTime - kPalmEpochOffset);
    std::tm tm{};
    char buf[64];
    if (gmtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm) == 0) {
        return format("%u", palmTime);
    }
    return buf;
}

const char* colourModeName(uint8_t code) {
    constexpr std::array<const char*, 6> kNames = {"Std Color Palette", "Grayscale",
                                                   "audio only",        "Ext Color Palette",
                                                   "Truecolor",         "Truecolor Plus"};
    return code < kNames.size() ? kNames[code] : "unknown";
}

const char* audioFormatName(uint8_t code) {
    constexpr std::array<const char*, 3> kNames = {
        "8-bit, 10000 samples/s", "IMA ADPCM, 10000 samples/s", "hi-fi 8-bit, 20000 samples/s"};
    return code < kNames.size() ? kNames[code] : "unknown";
}

std::string flagsText(uint16_t flags) {
    std::string names;
    const auto add = [&](const std::string& name) { names += names.empty() ? name : ", " + name; };
    if (flags & kMovieFlagLoop) {
        add("loops");
    }
    if (flags & kMovieFlagHasAudio) {
        add("has audio");
    }
    if (flags & kMovieFlagPeriodValid) {
        add("frame period valid");
    }
    if (flags & kMovieFlagHold) {
        add("waits for tap");
    }
    const uint16_t other = flags & ~uint16_t(15);
    if (other != 0) {
        add(format("other bits 0x%04x", other));
    }
    return format("0x%04x", flags) + (names.empty() ? "" : " (" + names + ")");
}

std::string typeText(uint32_t type) {
    std::string text = printable(dbCodeText(type));
    if (type == kDbTypeMovie) {
        text += " (movie)";
    } else if (type == kDbTypeWave) {
        text += " (audio only)";
    } else if (type == kDbTypeProtectedMovie) {
        text += " (movie, password-protected)";
    } else if (type == kDbTypeProtectedWave) {
        text += " (audio only, password-protected)";
    }
    return text;
}

struct SizeStats {
    int count = 0;
    uint64_t total = 0;
    uint32_t smallest = 0;
    uint32_t largest = 0;

    void add(uint32_t size) {
        smallest = count == 0 ? size : std::min(smallest, size);
        largest = std::max(largest, size);
        total += size;
        ++count;
    }
    std::string text() const {
        return format("smallest %u, mean %.1f, largest %u bytes", smallest, double(total) / count,
                      largest);
    }
};

void fail(std::ostream& err, const InfoOptions& options, const std::string& message) {
    err << "quillreel: " << printable(options.label) << ": " << message << '\n';
}

void writeDatabaseHeader(const MovieDbReader& reader, std::ostream& out) {
    const PalmDbHeader& h = reader.header();
    line(out, "Database name", "\"" + printable(h.name) + "\"");
    line(out, "Type", typeText(h.type));
    line(out, "Creator", printable(dbCodeText(h.creator)));
    line(out, "Created", dateText(h.creationDate));
    if (h.modificationDate != h.creationDate) {
        line(out, "Modified", dateText(h.modificationDate));
    }
    if (h.backupDate != h.creationDate) {
        line(out, "Backed up", dateText(h.backupDate));
    }
    line(out, "Records", format("%u", h.recordCount));
}

// Records first..last (inclusive) as one summary line without interpreting them.
void writeRecordRange(MovieDbReader& reader, std::ostream& out, std::string_view label, int first,
                      int last) {
    SizeStats stats;
    for (int i = first; i <= last; ++i) {
        stats.add(reader.size(i));
    }
    line(out, label,
         stats.count == 0 ? std::string("none")
                          : format("%d (records %d to %d), %llu bytes; ", stats.count, first, last,
                                   (unsigned long long)stats.total) +
                                stats.text());
}

void writeMovieHeader(const MovieHeader& h, bool audioOnly, std::ostream& out) {
    line(out, "Frame size",
         format("%u wide, %u rows, %u bits per stored pixel", h.width, h.rows, h.bitsPerPixel));
    line(out, "Colour mode", format("%u (%s)", h.colorMode, colourModeName(h.colorMode)));
    line(out, "Audio format", format("%u (%s)", h.audioFormat, audioFormatName(h.audioFormat)));
    line(out, "Frame rate",
         format("%.3f fps (%u ms per frame, %u whole fps, frame period %u%s)", h.frameRate(),
                h.msPerFrame, h.framesPerSecond, h.framePeriod,
                (h.flags & kMovieFlagPeriodValid) ? "" : ", not valid"));
    line(out, "Key frame interval",
         h.keyFrameInterval == 0 ? std::string("0 (only the first frame)")
                                 : format("%u frames", h.keyFrameInterval));
    line(out, "Flags", flagsText(h.flags));
    line(out, "Title", "\"" + printable(h.title) + "\"");
    line(out, "Author", "\"" + printable(h.author) + "\"");
    if (audioOnly) {
        line(out, "Playing time", format("%.1f s (%u tenths)", h.frameCount / 10.0, h.frameCount));
    } else {
        line(out, "Frame count", format("%u", h.frameCount));
    }
    line(out, "First audio record",
         h.hasAudio() ? format("%u", h.firstAudioRecord)
                      : format("%u (no audio)", h.firstAudioRecord));
}

void writeFrameSummary(MovieDbReader& reader, int first, int last, std::ostream& out) {
    SizeStats stats;
    int keys = 0, deltas = 0, others = 0, unread = 0;
    for (int i = first; i <= last; ++i) {
        RecordRef r(reader, i);
        if (!r) {
            ++unread;
            continue;
        }
        const uint16_t type = r.bytes().size() >= 2 ? getBE16(r.bytes(), 0) : 0;
        keys += type == 1;
        deltas += type == 2;
        others += type != 1 && type != 2;
        stats.add(uint32_t(r.bytes().size()));
    }
    if (stats.count == 0 && unread == 0) {
        line(out, "Frame records", "none");
        return;
    }
    std::string text = format("%d (%d key, %d delta", last - first + 1, keys, deltas);
    if (others != 0) {
        text += format(", %d of unknown type", others);
    }
    if (unread != 0) {
        text += format(", %d unreadable", unread);
    }
    text += ")";
    if (stats.count != 0) {
        text += "; " + stats.text();
    }
    line(out, "Frame records", text);
}

void writeAudioSummary(const MovieDbReader& reader, const MovieHeader& h, int first, int last,
                       std::ostream& out) {
    if (first > last) {
        line(out, "Audio records", "none");
        return;
    }
    const bool adpcm = h.audioFormat == kAudioFormatAdpcm;
    const uint32_t expected = adpcm ? 32772 : 32768;
    const double rate = h.audioFormat == kAudioFormatHifi ? 20000.0 : 10000.0;
    SizeStats stats;
    uint64_t samples = 0;
    int odd = 0;
    for (int i = first; i <= last; ++i) {
        const uint32_t size = reader.size(i);
        stats.add(size);
        samples += adpcm ? (size >= 4 ? uint64_t(size - 4) * 2 : 0) : size;
        odd += size != expected;
    }
    std::string text =
        format("%d (records %d to %d), %llu bytes, %.2f s at %.0f samples/s", stats.count, first,
               last, (unsigned long long)stats.total, double(samples) / rate, rate);
    if (odd != 0) {
        text += format("; %d not %u bytes long", odd, expected);
    }
    line(out, "Audio records", text);
}

} // namespace

int writeMovieInfo(MovieDbReader& reader, MovieDbError openStatus, const InfoOptions& options,
                   std::ostream& out, std::ostream& err) {
    if (openStatus != MovieDbError::Ok && openStatus != MovieDbError::Unfinished) {
        std::string message = movieDbErrorText(openStatus);
        if (openStatus == MovieDbError::OpenFailed && options.openErrno != 0) {
            message = std::string("cannot open: ") + std::strerror(options.openErrno);
        }
        fail(err, options, message);
        return kInfoError;
    }
    line(out, "File", printable(options.label));
    writeDatabaseHeader(reader, out);
    if (openStatus == MovieDbError::Unfinished) {
        line(out, "Record list", "not written: unfinished movie (the encode did not complete)");
        return kInfoUnfinished;
    }
    line(out, "File size", format("%u bytes", reader.fileLength()));

    const int n = reader.count();
    RecordRef record0(reader, 0);
    if (!record0) {
        fail(err, options, "cannot read the movie header record");
        return kInfoError;
    }
    if (record0.bytes().size() < size_t(kMovieHeaderFixedSize)) {
        fail(err, options,
             format("the movie header record is %zu bytes, shorter than %d", record0.bytes().size(),
                    kMovieHeaderFixedSize));
        return kInfoError;
    }
    std::vector<uint8_t> header(record0.bytes().begin(), record0.bytes().end());
    const bool protectedType = isProtectedType(reader.header().type);
    const bool scrambled = getBE16(header, 0) != 0;
    line(out, "Movie header", format("record 0, %zu bytes", header.size()));
    if (scrambled) {
        if (!options.password) {
            line(out, "Password",
                 "password-protected: the movie header is scrambled (give --password to read it)");
            writeRecordRange(reader, out, "Data records", 1, n - 1);
            return kInfoOk;
        }
        scrambleHeaderArea(std::span(header).first<kScrambledAreaSize>(), *options.password);
        if (getBE16(header, 0) != 0) {
            fail(err, options, "the password does not unlock the movie header");
            return kInfoError;
        }
        line(out, "Password", "password-protected; the password unlocks the movie header");
    } else if (protectedType) {
        line(out, "Password", "the type marks a password, but the movie header is not scrambled");
    }

    MovieHeader h;
    const bool stringsOk = MovieHeader::decode(header, h) == MovieHeaderError::Ok;
    const bool audioOnly = h.colorMode == kColorModeAudioOnly;
    writeMovieHeader(h, audioOnly, out);
    if (!stringsOk) {
        line(out, "Warning", "the title and author offsets do not point at strings in the record");
    }

    // Which records hold frames and which audio, as far as the database really has them.
    int audioFirst = n;
    if (h.hasAudio()) {
        if (h.firstAudioRecord >= 1 && h.firstAudioRecord <= n) {
            audioFirst = h.firstAudioRecord;
        } else {
            line(out, "Warning",
                 format("the first audio record %u is not in the database", h.firstAudioRecord));
        }
    }
    const int frames = audioOnly ? 0 : h.frameCount;
    const int frameLast = std::min(frames, audioFirst - 1);
    if (frameLast < frames) {
        line(out, "Warning",
             format("the header counts %d frames, but only %d frame records come before %s", frames,
                    frameLast, audioFirst < n ? "the audio" : "the end"));
    }
    writeFrameSummary(reader, 1, frameLast, out);
    if (frameLast + 1 < audioFirst) {
        writeRecordRange(reader, out, "Other records", frameLast + 1, audioFirst - 1);
    }
    writeAudioSummary(reader, h, audioFirst, n - 1, out);
    return kInfoOk;
}

} // namespace quil::cli
