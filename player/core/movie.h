// The movie object of the player: loads a movie database (asking for the playback password
// when the header is scrambled), takes over the header's geometry, rate and audio format and
// the colour table of the first frame record, and serves frames (through FrameDecoder) and
// 16-bit sound (8-bit or IMA ADPCM records, state carried across records) to playback.
//
// Everything read from the file is checked before use: a file that is not a movie fails to
// load; records that turn out unreadable or malformed later give no picture or end the sound.
#pragma once

#include "player/core/framedecoder.h"
#include "player/core/playback.h"
#include "player/core/prompt.h"
#include "player/core/records.h"

#include "moviedb/adpcm.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace quil {

inline constexpr const char* kPasswordPromptText =
    "This Quillreel contains password-protected content.  To play it, please enter the access "
    "password that was set when the movie was made.";
inline constexpr const char* kWrongPasswordText =
    "The password you've entered is incorrect.  Please try again.";
inline constexpr const char* kCannotOpenCaption = "Cannot Open File";
inline constexpr size_t kMaxPasswordLength = 49;

// The shared frame payload decoder behind the player's frame decoder.
class MoviePayloadDecoder final : public FramePayloadDecoder {
public:
    FramePayloadResult decode(std::span<const uint8_t> payload, int width, int rows,
                              std::span<uint8_t> out, std::span<uint8_t> previous) override;
};

// Opens a movie database file, or a copy of one in memory; nullptr when it is not one.
std::unique_ptr<MovieRecords> openMovieFile(const std::string& path);
std::unique_ptr<MovieRecords> openMovieBytes(std::span<const uint8_t> bytes);

class Movie final : public PlaybackMovie {
public:
    explicit Movie(PlayerPrompt& prompt);
    // With another payload decoder (tests count what is decoded).
    Movie(PlayerPrompt& prompt, FramePayloadDecoder& payloads);
    ~Movie() override;
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    bool Load(const std::string& path);
    bool Load(std::unique_ptr<MovieRecords> records);
    void close();

    bool isLoaded() const { return m_records != nullptr; }
    int width() const { return m_width; }
    int rows() const { return m_rows; }
    int colorMode() const { return m_colorMode; }
    // Colour mode codes 4 (Truecolor) and 5 (Truecolor Plus).
    bool isTruecolor() const { return m_colorMode == 4 || m_colorMode == 5; }
    // The display conversion table's variant of a truecolor movie: 24 or 25.
    int truecolorVariant() const { return m_colorMode == 5 ? 25 : 24; }
    int frameCount() const { return m_frameCount; }
    int keyFrameInterval() const { return m_keyInterval; }
    int firstAudioRecord() const { return m_firstAudioRecord; }
    bool isAdpcm() const { return m_adpcm; }
    bool isHifi() const { return m_hifi; }
    // 0xRRGGBB entries.
    const std::array<uint32_t, 256>& colorTable() const { return m_colorTable; }
    // Samples in all audio records (ADPCM: twice the record bytes, trailers included).
    int64_t totalAudioSamples() const;
    PositionSetup positionSetup() const;

    const uint8_t* GetFrame(int frame);
    // Copies frame n's rows (width bytes each) to destination, each row `pitch` bytes after
    // the previous one; false (and nothing written) when the frame cannot be decoded.
    bool showFrame(int frame, uint8_t* destination, ptrdiff_t pitch);
    int currentFrame() const { return m_frames.currentFrame(); }

    bool hasFrames() const override { return m_frameCount > 0; }
    bool hasAudio() const override { return m_firstAudioRecord > 0; }
    double frameRate() const override { return m_frameRate; }
    int audioSamplesPerSecond() const override { return m_hifi ? 20000 : 10000; }
    void SeekAudio(int64_t sample) override;
    int decodeAudio(int16_t* out, int max) override;

private:
    PlayerPrompt& m_prompt;
    std::unique_ptr<MoviePayloadDecoder> m_ownPayloads;
    FrameDecoder m_frames;
    std::unique_ptr<MovieRecords> m_records;

    int m_width = 0;
    int m_rows = 0;
    int m_colorMode = 0;
    int m_frameCount = 0;
    int m_keyInterval = 0;
    int m_firstAudioRecord = -1;
    bool m_adpcm = false;
    bool m_hifi = false;
    double m_frameRate = 0;
    std::array<uint32_t, 256> m_colorTable{};

    // Audio stream decoder.
    int m_audioRecord = -1;
    std::span<const uint8_t> m_audioHeld;
    bool m_audioHolding = false;
    size_t m_audioCapacity = 0;
    size_t m_audioRead = 0;
    AdpcmState m_adpcmState;

    bool readHeader(std::span<const uint8_t> record0);
    void readColorTable(std::span<const uint8_t> record1);
    void releaseAudio();
    void resetState();
};

} // namespace quil
