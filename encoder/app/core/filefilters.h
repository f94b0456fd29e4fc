// The browse dialogs' file filters: description and pattern pairs in the order the dialogs
// list them. Script (".avs") and frame-server (".vdr") entries appear only when a handler for
// them is available.
#pragma once

#include <string>
#include <vector>

struct FileFilterEntry {
    std::string description;
    std::string patterns; // ';'-separated
};

std::vector<FileFilterEntry> VideoFileFilter(bool haveAvs, bool haveVdr);
std::vector<FileFilterEntry> AudioFileFilter(bool haveAvs, bool haveVdr);
std::vector<FileFilterEntry> OutputFileFilter();
