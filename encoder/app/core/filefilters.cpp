#include "encoder/app/core/filefilters.h"

namespace {

void appendCommon(std::vector<FileFilterEntry>& list, bool haveAvs, bool haveVdr) {
    list.push_back({"Audio-Video Interleave (*.avi)", "*.avi"});
    list.push_back({"QuickTime Movies (*.mov, *.mpg, *.mpeg)", "*.mov;*.mpg;*.mpeg"});
    if (haveAvs) {
        list.push_back({"Avisynth script (*.avs)", "*.avs"});
    }
    if (haveVdr) {
        list.push_back({"VirtualDub remote (*.vdr)", "*.vdr"});
    }
    list.push_back({"All files (*.*)", "*.*"});
}

FileFilterEntry allSupported(const char* description, const char* patterns, bool haveAvs,
                             bool haveVdr) {
    FileFilterEntry e{description, patterns};
    if (haveAvs) {
        e.description += ", *.avs";
        e.patterns += ";*.avs";
    }
    if (haveVdr) {
        e.description += ", *.vdr";
        e.patterns += ";*.vdr";
    }
    e.description += ")";
    return e;
}

} // namespace

std::vector<FileFilterEntry> VideoFileFilter(bool haveAvs, bool haveVdr) {
    std::vector<FileFilterEntry> list;
    list.push_back(allSupported("All supported (*.avi, *.mov, *.mpg, *.mpeg",
                                "*.avi;*.mov;*.mpg;*.mpeg", haveAvs, haveVdr));
    appendCommon(list, haveAvs, haveVdr);
    return list;
}

std::vector<FileFilterEntry> AudioFileFilter(bool haveAvs, bool haveVdr) {
    std::vector<FileFilterEntry> list;
    list.push_back(allSupported("All supported (*.avi, *.mov, *.mpg, *.mpeg, *.wav, *.mp3",
                                "*.avi;*.mov;*.mpg;*.mpeg;*.wav;*.mp3", haveAvs, haveVdr));
    list.push_back({"Waveform (*.wav, *.mp3)", "*.wav;*.mp3"});
    appendCommon(list, haveAvs, haveVdr);
    return list;
}

std::vector<FileFilterEntry> OutputFileFilter() {
    return {{"Quillreel database (*.pdb)", "*.pdb"}};
}
