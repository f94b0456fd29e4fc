// Small stand-ins for the player core's outside world: records held in memory, a payload
// decoder that logs which frame it decodes, a settable clock, an audio output that records
// what the engine asks of it, a position control, and a prompt that records its messages.
#pragma once

#include "player/core/audioqueue.h"
#include "player/core/framedecoder.h"
#include "player/core/playback.h"
#include "player/core/prompt.h"
#include "player/core/records.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quil::test {

class MemoryRecords : public MovieRecords {
public:
    std::vector<std::vector<uint8_t>> records;
    std::vector<int> unreadable; // indices whose get fails
    std::map<int, int> uses;
    int gets = 0;

    int count() const override { return int(records.size()); }
    uint32_t size(int index) const override {
        return index >= 0 && index < count() ? uint32_t(records[size_t(index)].size()) : 0;
    }
    std::optional<std::span<const uint8_t>> get(int index) override {
        ++gets;
        if (index < 0 || index >= count() ||
            std::find(unreadable.begin(), unreadable.end(), index) != unreadable.end()) {
            return std::nullopt;
        }
        ++uses[index];
        return std::span<const uint8_t>(records[size_t(index)]);
    }
    void release(int index) override { --uses[index]; }
    int held() const {
        int n = 0;
        for (auto [index, count] : uses) {
            n += count;
        }
        return n;
    }
};

// Test payloads: a 2-byte frame number, then 0 or 1 for "another payload follows at +4".
// The decoder writes the frame number into the picture's first two bytes.
class LoggingPayloads : public FramePayloadDecoder {
public:
    std::vector<int> decoded;

    static std::vector<uint8_t> payloads(std::initializer_list<int> frames) {
        std::vector<uint8_t> bytes;
        size_t left = frames.size();
        for (int frame : frames) {
            bytes.push_back(uint8_t(frame >> 8));
            bytes.push_back(uint8_t(frame));
            bytes.push_back(--left > 0 ? 1 : 0);
            bytes.push_back(0);
        }
        return bytes;
    }

    FramePayloadResult decode(std::span<const uint8_t> payload, int, int, std::span<uint8_t> out,
                              std::span<uint8_t>) override {
        if (payload.size() < 4) {
            decoded.push_back(-1);
            return {};
        }
        const int frame = payload[0] << 8 | payload[1];
        decoded.push_back(frame);
        out[0] = payload[0];
        out[1] = payload[1];
        return {true, payload[2] ? std::optional<size_t>(4) : std::nullopt};
    }
};

inline int pictureFrame(const uint8_t* picture) { return picture[0] << 8 | picture[1]; }

class FakeClock : public PlaybackClock {
public:
    uint32_t now = 100000;
    uint32_t nowMs() override { return now; }
};

class RecordingPrompt : public PlayerPrompt {
public:
    struct Message {
        std::string text, caption;
        PromptIcon icon;
    };
    std::vector<Message> messages;
    std::vector<std::string> passwordPrompts;
    std::deque<std::optional<std::string>> answers; // nullopt: Cancel

    void showMessage(const std::string& text, const std::string& caption, PromptIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    std::optional<std::string> askPassword(const std::string& text) override {
        passwordPrompts.push_back(text);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class FakeAudioOutput : public AudioOutput {
public:
    bool openSucceeds = true;
    bool opened = false;
    bool playing = false;
    bool silent = false;
    int freeSpace = 4 * 8192;
    int position = -1;
    int openedRate = 0;
    int restarts = 0;
    size_t bytesWritten = 0;
    int flushes = 0;

    bool open(int rate) override {
        openedRate = rate;
        opened = openSucceeds;
        silent = false;
        return openSucceeds;
    }
    void close() override { opened = playing = silent = false; }
    void stop() override { playing = false; }
    void restart() override {
        ++restarts;
        playing = opened;
    }
    void markSilent() override { silent = true; }
    bool isSilent() const override { return silent; }
    bool reclaim() override { return false; }
    int freeBytes() override { return freeSpace; }
    bool write(const uint8_t*, size_t length, int) override {
        bytesWritten += length;
        return true;
    }
    void flush() override { ++flushes; }
    int positionMs() override { return playing ? position : -1; }
};

class FakeView : public PlaybackView {
public:
    int control = 0;
    std::vector<int> shown;
    int controlPosition() const override { return control; }
    void setControlPosition(int position) override { control = position; }
    void showFrame(int position) override { shown.push_back(position); }
};

class FakeMovie : public PlaybackMovie {
public:
    int frames = 100;
    double fps = 10.0;
    bool audio = false;
    int samplesPerSecond = 10000;
    int64_t audioSamples = 1 << 30;
    std::vector<int64_t> seeks;

    bool hasFrames() const override { return frames > 0; }
    bool hasAudio() const override { return audio; }
    double frameRate() const override { return fps; }
    int audioSamplesPerSecond() const override { return samplesPerSecond; }
    void SeekAudio(int64_t sample) override { seeks.push_back(sample); }
    int decodeAudio(int16_t* out, int max) override {
        if (!audio) {
            return -1;
        }
        const int n = int(std::min<int64_t>(max, audioSamples));
        std::memset(out, 0, size_t(n) * 2);
        audioSamples -= n;
        return n;
    }
};

} // namespace quil::test
