// The QuickTime-model sources over FFmpeg, for every file the AVI sources do not take (MOV,
// MP4, MPEG program streams, MKV, WebM, ...). Video is a run of frames on a 1/60 s grid:
// frame n is the picture showing n/60 s into the movie. Audio is the movie's first sound
// track converted to 16-bit little-endian mono at 10000 samples per second; block n is the
// sample n/10000 s into the movie, the same whichever block a read starts at.
#pragma once

#include "encoder/media/streamsource.h"

#include <cstdint>
#include <memory>

// The start-up the two sources share: run once per process.
class CommonStreamSourceQT {
  public:
    virtual ~CommonStreamSourceQT() = default;
    // 0 when the libraries are usable, else kNotInstalled (60035 as unsigned 16 bits).
    virtual int16_t InitQuickTime();

    static constexpr int16_t kNotInstalled = -5501;
};

class VideoStreamSourceQT : public VideoStreamSource, public CommonStreamSourceQT {
  public:
    VideoStreamSourceQT();
    ~VideoStreamSourceQT() override;

    void Close() override;
    bool IsOpen() override;
    uint32_t GetSourceType() override { return kSourceTypeVideoQT; }
    int InitLibrary() override;
    int Open(const char* fileName) override;
    int GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) override;
    int GetInfo(VideoStreamInfo* info) override;
    int GetStart() override;
    int GetLength() override;
    const char* GetErrorText(unsigned code) override;

    // Store the text of a library result code and return 11 / 12.
    virtual int SetMacOSError(int code);
    virtual int SetQuickDrawError(int code);

    struct Impl;

  private:
    std::unique_ptr<Impl> m;
    char m_qtErrorText[128] = {};
};

class AudioStreamSourceQT : public AudioStreamSource, public CommonStreamSourceQT {
  public:
    AudioStreamSourceQT();
    ~AudioStreamSourceQT() override;

    void Close() override;
    bool IsOpen() override;
    int Open(const char* fileName) override;
    uint32_t GetSourceType() override { return kSourceTypeAudioQT; }
    int InitLibrary() override;
    int Read(int firstBlock, int blockCount, void* buffer, int bufferSize, int* bytesRead,
             int* blocksRead) override;
    int GetInfo(AudioStreamInfo* info) override;
    int GetStart() override;
    int GetLength() override;
    const char* GetErrorText(unsigned code) override;

    // Store the text of a library result code and return 12 / 13.
    virtual int SetMacOSError(int code);
    virtual int SetQuickDrawError(int code);

    struct Impl;

  private:
    int failRead(int location, const char* text, int code);

    std::unique_ptr<Impl> m;
    char m_qtErrorText[128] = {};
};
