// The texts the main window shows for the current settings: the three status lines on the
// option buttons and the size estimate of the movie the current video source would give.
#pragma once

#include "encoder/engine/params.h"

#include <string>

std::string FormatStatusLine(const EncodingParameters& p);
std::string VideoStatusLine(const EncodingParameters& p);
std::string AudioStatusLine(const EncodingParameters& p);

// What ComputeFrameRange says about the current source.
struct FramePlan {
    double fps = 0;
    int frames = 0;
    int audioRecords = 0;
};
// "Estimated file size: %dK  (%d frames at %d fps, Duration: %d:%02d )", counted as the
// resolution dialog counts it: key frames at full size, the others at the target rate.
std::string SizeEstimateLine(const EncodingParameters& p, const FramePlan& plan);
