// How the dialogs read numbers typed into their fields: a whole field as an unsigned
// integer (the frame-rate box), or a decimal number at the start of a field as a C scanner
// would (frame numbers, the volume boost).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The field's text as an unsigned 32-bit number: optional blanks around the digits and
// nothing else. Nothing when the text is not such a number.
std::optional<uint32_t> ReadUnsignedField(const std::string& text);

// The decimal number at the start of the first maxChars characters: leading blanks, an
// optional sign, then digits; whatever follows is ignored. Values beyond 32 bits are cut to
// its range. Nothing when no digit starts the text.
std::optional<int32_t> ScanLeadingNumber(const std::string& text, size_t maxChars = 19);
