// The two input interfaces of the encoder: a video source delivers decoded frames of one
// stream, an audio source raw sample blocks of one stream. Every operation that can fail
// returns an integer code (0 = success) whose text comes from the same source's
// GetErrorText; nothing throws across these interfaces. One instance of each source class
// lives for the whole run and is opened and closed once per job.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

class VBitmap;

// The four-character codes of the implementations, first character in the top byte.
constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
           (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
inline constexpr uint32_t kSourceTypeVideoAVI = FourCC('V', 'A', 'V', 'I'); // 0x56415649
inline constexpr uint32_t kSourceTypeVideoQT = FourCC('V', 'Q', 'T', ' ');  // 0x56515420
inline constexpr uint32_t kSourceTypeAudioAVI = FourCC('A', 'A', 'V', 'I'); // 0x41415649
inline constexpr uint32_t kSourceTypeAudioQT = FourCC('A', 'Q', 'T', ' ');  // 0x41515420

struct VideoStreamInfo {
    uint32_t rate = 0;  // rate / scale frames per second
    uint32_t scale = 0;
    int32_t length = 0; // frames
    int32_t width = 0;
    int32_t height = 0;
};

struct AudioStreamInfo {
    uint32_t rate = 0;  // rate / scale sample blocks per second
    uint32_t scale = 0;
    int32_t length = 0; // sample blocks
    int32_t bitsPerSample = 0;
    int32_t blockAlign = 0;
    int32_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint16_t formatTag = 0; // 1 = PCM, 6 = A-law, 7 = mu-law
};

// Video source codes. 11 to 13 are raised and described by one implementation each.
enum VideoSourceError : int {
    kVideoOk = 0,
    kVideoNotOpen = 1,
    kVideoOutOfMemory = 2,
    kVideoNoFileName = 3,
    kVideoFileMissing = 4,
    kVideoNoVideo = 5,
    kVideoBadFormat = 6,
    kVideoReadError = 7,
    kVideoOpenError = 8,
    kVideoUnknownError = 9,
    kVideoOSError = 10,
    kVideoImpl11 = 11,
    kVideoImpl12 = 12,
    kVideoImpl13 = 13,
};

enum AudioSourceError : int {
    kAudioOk = 0,
    kAudioOutOfMemory = 1,
    kAudioNoFileName = 2,
    kAudioFileMissing = 3,
    kAudioNoAudio = 4,
    kAudioBadFormat = 5,
    kAudioReadError = 6,
    kAudioOpenError = 7,
    kAudioNotOpen = 8,
    kAudioBufferTooSmall = 9,
    kAudioUnknownError = 10,
    kAudioOSError = 11,
    kAudioImpl12 = 12,
    kAudioImpl13 = 13,
    kAudioImpl14 = 14,
    kAudioImpl15 = 15,
};

class VideoStreamSource {
public:
    VideoStreamSource();
    virtual ~VideoStreamSource();
    VideoStreamSource(const VideoStreamSource&) = delete;
    VideoStreamSource& operator=(const VideoStreamSource&) = delete;

    // Releases everything the source holds; safe when not open.
    virtual void Close() = 0;
    // Chooses the output rate for a requested rate (0 = automatic) and the number of source
    // frames per output frame. nativeFps may be null.
    virtual void ComputeFrameStep(int requestedFps, double* chosenFps, int* frameCount,
                                  double* step, int* nativeFps);
    virtual bool IsOpen() = 0;
    virtual uint32_t GetSourceType() = 0;
    virtual int InitLibrary();
    // Closes any previous file first.
    virtual int Open(const char* fileName) = 0;
    // Decodes frame index into *bitmap as 32-bit pixels; creates the bitmap when it is null.
    // The caller owns the bitmap and hands it back on later calls.
    virtual int GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) = 0;
    virtual int GetInfo(VideoStreamInfo* info) = 0;
    virtual void SetFlipRows(bool flip);
    virtual int GetStart() = 0;
    virtual int GetLength() = 0;
    // The text stays valid until the next failing operation on this source.
    virtual const char* GetErrorText(unsigned code);
    // Stores the system's text for an OS error code and returns code 10.
    virtual int SetOSError(int osError);

protected:
    bool m_flipRows = false;
    char m_unknownText[1024];
    char m_osErrorText[1024];
};

class AudioStreamSource {
public:
    AudioStreamSource();
    virtual ~AudioStreamSource();
    AudioStreamSource(const AudioStreamSource&) = delete;
    AudioStreamSource& operator=(const AudioStreamSource&) = delete;

    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual int Open(const char* fileName) = 0;
    virtual uint32_t GetSourceType() = 0;
    virtual int InitLibrary();
    // Reads up to blockCount sample blocks from firstBlock into buffer (bufferSize bytes).
    // bytesRead and blocksRead may be null.
    virtual int Read(int firstBlock, int blockCount, void* buffer, int bufferSize,
                     int* bytesRead, int* blocksRead) = 0;
    virtual int GetInfo(AudioStreamInfo* info) = 0;
    virtual int GetStart() = 0;
    virtual int GetLength() = 0;
    virtual const char* GetErrorText(unsigned code);
    // Code 11 takes an OS error code as its first argument and stores its text with the
    // "OS Error:" prefix; other codes store nothing. Returns code.
    virtual int SetErrorV(int code, va_list args);
    int SetError(int code, ...);
    virtual void SetOSError(int osError);

protected:
    char m_unknownText[1024];
    char m_osErrorText[1024];
};

// The system's message for an OS error code on one line: line breaks become spaces and
// trailing blanks are cut. "OS error 0x%x" when the system has no text for the code.
void FormatOSErrorText(int osError, const char* prefix, char* out, size_t outSize);
