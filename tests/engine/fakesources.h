// Sources for the engine's tests whose stream description is set directly: frame range and
// record count rules need nothing but GetInfo and IsOpen.
#pragma once

#include "encoder/media/streamsource.h"

class InfoOnlyVideoSource : public VideoStreamSource {
public:
    VideoStreamInfo info;
    bool open = true;

    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    uint32_t GetSourceType() override { return FourCC('T', 'E', 'S', 'T'); }
    int Open(const char*) override { return kVideoOk; }
    int GetFrame(int, std::unique_ptr<VBitmap>&) override { return kVideoReadError; }
    int GetInfo(VideoStreamInfo* out) override {
        *out = info;
        return kVideoOk;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return info.length; }
};

class InfoOnlyAudioSource : public AudioStreamSource {
public:
    AudioStreamInfo info;
    bool open = true;

    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    int Open(const char*) override { return kAudioOk; }
    uint32_t GetSourceType() override { return FourCC('T', 'E', 'S', 'T'); }
    int Read(int, int, void*, int, int*, int*) override { return kAudioReadError; }
    int GetInfo(AudioStreamInfo* out) override {
        *out = info;
        return kAudioOk;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return info.length; }
};
