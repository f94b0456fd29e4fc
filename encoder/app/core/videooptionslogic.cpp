#include "encoder/app/core/videooptionslogic.h"

#include "encoder/app/core/fieldnumbers.h"
#include "encoder/engine/encodingjob.h"
#include "encoder/media/streamsource.h"

#include <algorithm>
#include <cmath>

namespace {
// Rounded to the nearest position on both sides of zero, so that opening the dialog and
// pressing OK gives back the stored value.
int sliderPosition(double value, int scale) { return int(std::lround(value * scale)); }

VideoStreamSource* openVideo(OrbanwickMovieEncoder& engine) {
    VideoStreamSource* v = engine.GetVideoSource();
    return v && v->IsOpen() ? v : nullptr;
}
} // namespace

VideoOptionsLogic::VideoOptionsLogic(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                                     uint32_t faceColor)
    : m_engine(engine), m_faceColor(faceColor) {
    m_brightness = std::clamp(sliderPosition(engine.rBrightness, 100), -100, 100);
    m_contrast = std::clamp(sliderPosition(engine.rContrast, 100), -100, 100);
    m_sizing = std::clamp(sliderPosition(engine.rCropFactor, 64), 0, 64);
    m_flipV = engine.fFlipImageVertically;
    m_flipH = engine.fFlipImageHorizontally;
    m_rotate = engine.fRotateImageSideways;

    const char* error = EncodingJob::OpenSourcesForMode(engine, fields.encodemode, fields.source_file,
                                                        fields.asource_file, true);
    VideoStreamSource* video = openVideo(engine);
    if (error || !video) {
        m_openError = error ? error : "";
    } else {
        VideoStreamInfo info;
        if (video->GetInfo(&info) == kVideoOk && info.width > 0 && info.height > 0) {
            m_length = video->GetLength();
            m_usPerFrame = info.rate != 0
                               ? int32_t(double(info.scale) * 1000000.0 / double(info.rate) + 0.5)
                               : 0;
            m_sourceWidth = info.width;
            m_sourceHeight = info.height;
            m_preview = std::make_unique<VBitmap>(kPreviewSide, kPreviewSide);
            if (engine.nFrameEnd <= 0) {
                engine.nFrameEnd = m_length - 1;
            }
        }
    }
    if (!sourceShown()) {
        return;
    }
    engine.nFrameEnd = std::max(engine.nFrameEnd, 0);
    engine.nFrameStart = std::max(engine.nFrameStart, 0);
    m_firstText = std::to_string(engine.nFrameStart);
    m_lastText = std::to_string(engine.nFrameEnd);
    render();
}

void VideoOptionsLogic::setPosition(int position) {
    m_position = std::clamp(position, 0, std::max(positionLast(), 0));
}

void VideoOptionsLogic::setSizing(int position) { m_sizing = std::clamp(position, 0, 64); }
void VideoOptionsLogic::setBrightness(int position) { m_brightness = std::clamp(position, -100, 100); }
void VideoOptionsLogic::setContrast(int position) { m_contrast = std::clamp(position, -100, 100); }

bool VideoOptionsLogic::flag(VideoFlag f) const {
    switch (f) {
    case VideoFlag::Rotate:
        return m_rotate;
    case VideoFlag::FlipVertically:
        return m_flipV;
    default:
        return m_flipH;
    }
}

bool VideoOptionsLogic::setFlag(VideoFlag f, bool on) {
    switch (f) {
    case VideoFlag::Rotate:
        m_rotate = m_engine.fRotateImageSideways = on;
        break;
    case VideoFlag::FlipVertically:
        m_flipV = m_engine.fFlipImageVertically = on;
        break;
    case VideoFlag::FlipHorizontally:
        m_flipH = m_engine.fFlipImageHorizontally = on;
        break;
    }
    return render();
}

bool VideoOptionsLogic::positionNotice(int code) {
    switch (code) {
    case 4:
        setPosition(0);
        break;
    case 5:
        setPosition(m_position - 1);
        break;
    case 6:
        setPosition(m_position + 1);
        break;
    case 7:
        setPosition(m_length - 1);
        break;
    default:
        break;
    }
    return render();
}

bool VideoOptionsLogic::resetSliders() {
    m_brightness = 0;
    m_contrast = 0;
    return render();
}

void VideoOptionsLogic::setToFirst() { m_firstText = std::to_string(m_position); }
void VideoOptionsLogic::setToLast() { m_lastText = std::to_string(m_position); }

void VideoOptionsLogic::useAllFrames() {
    VideoStreamSource* video = openVideo(m_engine);
    VideoStreamInfo info;
    if (video && video->GetInfo(&info) == kVideoOk) {
        m_firstText = "0";
        m_lastText = std::to_string(video->GetLength() - 1);
    }
}

bool VideoOptionsLogic::goTo(const std::string& text) {
    const auto target = ScanLeadingNumber(text);
    if (!target) {
        return false; // no number: the click is ignored
    }
    setPosition(*target);
    return render();
}

bool VideoOptionsLogic::goFirst() { return goTo(m_firstText); }
bool VideoOptionsLogic::goLast() { return goTo(m_lastText); }

void VideoOptionsLogic::writeLive() {
    m_engine.rContrast = m_contrast / 100.0;
    m_engine.rBrightness = m_brightness / 100.0;
}

PixelRect VideoOptionsLogic::displayBox() const {
    const int32_t w = m_engine.nScreenWidth, h = m_engine.nScreenHeight;
    const double e = std::max(w, h) / 160.0;
    double bw = e > 0 ? w / e : 0, bh = e > 0 ? h / e : 0;
    if (m_rotate) {
        std::swap(bw, bh);
    }
    PixelRect box;
    box.width = int(bw);
    box.height = int(bh);
    box.x = int((kPreviewSide - box.width) * 0.5);
    box.y = int((kPreviewSide - box.height) * 0.5);
    return box;
}

bool VideoOptionsLogic::render() {
    writeLive();
    VideoStreamSource* video = openVideo(m_engine);
    if (!sourceShown() || !video || !m_preview) {
        return false;
    }
    if (video->GetFrame(video->GetStart() + m_position, m_frame) != kVideoOk || !m_frame) {
        return false;
    }
    const PixelRect box = displayBox();
    const double x0 = (kPreviewSide - box.width) * 0.5, y0 = (kPreviewSide - box.height) * 0.5;
    PixelRect dst;
    SourceRect src;
    m_engine.ComputeFitRect(m_sourceWidth, m_sourceHeight, m_sizing / 64.0, &dst, &src, box.width,
                            box.height);

    // The preview is bottom-up like the frames; positions are worked out from the top, as
    // the movie's screen is, and turned into rows from the bottom.
    m_preview->RectFill(0, 0, -1, -1, m_faceColor);
    m_preview->RectFill(box.x, kPreviewSide - box.y - box.height, box.width, box.height, 0);
    const int x = int(x0 + dst.x);
    const int top = int(y0 + dst.y);
    const int y = kPreviewSide - top - dst.height;
    int dx = x, dy = y, dw = dst.width, dh = dst.height;
    if (m_flipH) {
        dx = x + dst.width;
        dw = -dst.width;
    }
    if (m_flipV) {
        dy = y + dst.height;
        dh = -dst.height;
    }
    m_preview->StretchBltNearest(dx, dy, dw, dh, m_frame.get(), src.x, src.y, src.width, src.height);
    // As in the movie, the adjustment runs only when it changes something: the lightness
    // round trip alone moves some colours by a step.
    if (m_engine.rBrightness != 0 || m_engine.rContrast != 0) {
        m_preview->AdjustBrightnessContrast(x, y, dst.width, dst.height,
                                            float(m_engine.rBrightness), float(m_engine.rContrast));
    }
    return true;
}

int VideoOptionsLogic::accept() {
    EncodingParameters& p = m_engine;
    p.rCropFactor = m_sizing / 64.0;
    writeLive();
    p.fFlipImageVertically = m_flipV;
    p.fFlipImageHorizontally = m_flipH;
    p.fRotateImageSideways = m_rotate;
    if (const auto first = ScanLeadingNumber(m_firstText)) {
        p.nFrameStart = *first;
    }
    if (const auto last = ScanLeadingNumber(m_lastText)) {
        p.nFrameEnd = *last;
    }
    VideoStreamSource* video = openVideo(m_engine);
    VideoStreamInfo info;
    if (video && video->GetInfo(&info) == kVideoOk && p.nFrameEnd >= video->GetLength() - 1) {
        p.nFrameEnd = 0;
    }
    m_engine.CloseSources();
    return 1;
}

int VideoOptionsLogic::reject() {
    m_engine.CloseSources();
    return 0;
}
