#include "encoder/media/sourcelists.h"

#include "encoder/media/avisource.h"
#include "encoder/media/qtsource.h"

std::vector<std::unique_ptr<VideoStreamSource>> CreateVideoSourceCandidates() {
    std::vector<std::unique_ptr<VideoStreamSource>> list;
    list.push_back(std::make_unique<VideoStreamSourceAVI>());
    list.push_back(std::make_unique<VideoStreamSourceQT>());
    return list;
}

std::vector<std::unique_ptr<AudioStreamSource>> CreateAudioSourceCandidates() {
    std::vector<std::unique_ptr<AudioStreamSource>> list;
    list.push_back(std::make_unique<AudioStreamSourceAVI>());
    list.push_back(std::make_unique<AudioStreamSourceQT>());
    return list;
}
