// The candidate sources in the order the encoder tries them for a file: video [AVI,
// QuickTime model], audio [AVI, QuickTime model]. One instance of each lives for the run.
#pragma once

#include "encoder/media/streamsource.h"

#include <memory>
#include <vector>

std::vector<std::unique_ptr<VideoStreamSource>> CreateVideoSourceCandidates();
std::vector<std::unique_ptr<AudioStreamSource>> CreateAudioSourceCandidates();
