#include "encoder/app/core/fieldnumbers.h"

#include <cctype>
#include <limits>

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

std::optional<uint32_t> ReadUnsignedField(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    const size_t first = i;
    uint64_t value = 0;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10 + uint64_t(text[i] - '0');
        if (value > std::numeric_limits<uint32_t>::max()) {
            return std::nullopt;
        }
        ++i;
    }
    if (i == first) {
        return std::nullopt;
    }
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return uint32_t(value);
}

std::optional<int32_t> ScanLeadingNumber(const std::string& full, size_t maxChars) {
    const std::string text = full.substr(0, maxChars);
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i])) {
        return std::nullopt;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    while (i < text.size() && isDigit(text[i])) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) {
            value = kLimit;
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
    }
    return int32_t(value);
}
