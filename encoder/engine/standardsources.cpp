#include "encoder/engine/standardsources.h"

#include "encoder/media/streamsource.h"

#include <vector>

struct StandardSources::Lists {
    std::vector<VideoStreamSource*> video;
    std::vector<AudioStreamSource*> audio;
};

StandardSources::StandardSources() : m_lists(std::make_unique<Lists>()) {}

StandardSources::~StandardSources() = default;

void StandardSources::install(OrbanwickMovieEncoder& engine) {
    engine.SetSourceLists(m_lists->video, m_lists->audio);
}

MpegAudioTools StandardMpegAudioTools(std::function<void(const std::string&)> status) {
    (void)status;
    return {};
}
