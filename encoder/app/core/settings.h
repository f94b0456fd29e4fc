// The encoder's stored settings: the main window's fields and every encoding parameter,
// each one raw little-endian value of fixed size under one key, read once when the main
// window starts and written when it closes. Values are not range-checked when loaded.
#pragma once

#include "encoder/app/core/settingsstore.h"
#include "encoder/engine/encodingjob.h"
#include "encoder/engine/params.h"

#include <cstdint>
#include <string>

// The main window's fields that are stored, that a batch task carries and that a job reads.
using MainWindowFields = JobFields;

inline constexpr size_t kSettingTextBytes = 260;

// First-run state of the fields: all empty but the Palm name.
MainWindowFields DefaultMainWindowFields();

// Loads the numeric settings, then the texts, then the two check boxes, in the stored order.
// A value that is absent (or larger than its slot) leaves the field as it was.
void LoadSettings(const SettingsStore& store, EncodingParameters& params, MainWindowFields& fields);

// Saves the texts (each cut to 259 bytes at a character boundary, NUL-terminated in 260
// bytes), the check boxes and the numeric settings. A value that cannot be written is
// skipped; the rest are still written. Returns the number of values that failed.
int SaveSettings(const SettingsStore& store, const EncodingParameters& params,
                 const MainWindowFields& fields);
// The numeric settings alone, as written again when the window is destroyed.
int SaveNumericSettings(const SettingsStore& store, const EncodingParameters& params,
                        int32_t encodemode);

// A text cut to fit a 260-byte value with its terminator: at most 259 bytes, never ending
// inside a UTF-8 sequence.
std::string CutSettingText(const std::string& text);
