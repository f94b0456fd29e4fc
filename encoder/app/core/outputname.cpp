#include "encoder/app/core/outputname.h"

std::string DeriveOutputName(const std::string& sourcePath) {
    const size_t slash = sourcePath.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = sourcePath.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) {
        dot = sourcePath.size();
    }
    if (dot >= 255) {
        return sourcePath;
    }
    return sourcePath.substr(0, dot) + ".pdb";
}
