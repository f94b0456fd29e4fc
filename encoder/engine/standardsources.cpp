#include "encoder/engine/standardsources.h"

#include "encoder/media/mpeg/mp3towav.h"
#include "encoder/media/mpeg/mpegsystem.h"
#include "encoder/media/sourcelists.h"
#include "encoder/media/streamsource.h"

#include <vector>

struct StandardSources::Lists {
    std::vector<std::unique_ptr<VideoStreamSource>> video = CreateVideoSourceCandidates();
    std::vector<std::unique_ptr<AudioStreamSource>> audio = CreateAudioSourceCandidates();
};

StandardSources::StandardSources() : m_lists(std::make_unique<Lists>()) {}

StandardSources::~StandardSources() = default;

void StandardSources::install(OrbanwickMovieEncoder& engine) {
    std::vector<VideoStreamSource*> video;
    std::vector<AudioStreamSource*> audio;
    for (const auto& s : m_lists->video) {
        video.push_back(s.get());
    }
    for (const auto& s : m_lists->audio) {
        audio.push_back(s.get());
    }
    engine.SetSourceLists(std::move(video), std::move(audio));
}

MpegAudioTools StandardMpegAudioTools(std::function<void(const std::string&)> status) {
    MpegAudioTools tools;
    tools.probeVideo = [](FILE* f) { return quil::mpeg::ProbeMpegVideo(f); };
    tools.extractAudio = [status](const std::string& in, const std::string& out) {
        return quil::mpeg::ExtractMpegAudio(in, true, out, status);
    };
    tools.decodeToWav = [status](const std::string& in, const std::string& out) {
        return quil::mpeg::DecodeMp3ToWav(in, true, out, status);
    };
    return tools;
}
