// Arbitrary bytes as a batch task line: parsing never reads outside the line, and a text
// that was decoded encodes back to what decodes to itself.
#include "encoder/app/core/batchtasks.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    MainWindowFields fields;
    EncodingParameters params;
    ParseTaskLine(line, fields, params);
    const std::string decoded = DecodeTaskText(line);
    if (DecodeTaskText(EncodeTaskText(decoded)) != decoded) {
        std::abort();
    }
    return 0;
}
