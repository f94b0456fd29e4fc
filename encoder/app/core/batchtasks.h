// The batch queue's task file: one task per line, a snapshot of the main window's fields
// and of every encoding parameter. An ordinary space separates the fields, so spaces inside
// the human-readable part and inside the texts are written as a no-break space. Paths here
// are UTF-8, where the lone byte 0xA0 is part of many letters, so the no-break space is the
// UTF-8 pair C2 A0 and only that pair turns back into a space. A real no-break space, the
// escape character '^' and line breaks inside a text are escaped ("^" + pair, "^^", "^n",
// "^r"), so every text comes back byte for byte.
#pragma once

#include "encoder/app/core/settings.h"
#include "encoder/engine/params.h"

#include <ctime>
#include <string>
#include <vector>

// One task line, ending with "\n". created is the local time stamped into the line.
std::string FormatTaskLine(const MainWindowFields& fields, const EncodingParameters& params,
                           const std::tm& created);

// Loads a task line into fields and params. Returns false, changing nothing, when the line
// is too short to hold the file names and texts; the numbers after them are read as far as
// they go, and a number that cannot be read leaves its setting unchanged.
bool ParseTaskLine(const std::string& line, MainWindowFields& fields, EncodingParameters& params);

// The task file's lines in file order, without their line ends; empty lines and lines
// starting with a carriage return or a NUL are skipped. A missing file gives no lines.
// Lines of any length are one task each.
std::vector<std::string> ReadTaskFile(const std::string& path);
// Rewrites the file from the entries, each followed by "\n".
bool WriteTaskFile(const std::string& path, const std::vector<std::string>& entries);
// Appends one line, creating the file when it does not exist.
bool AppendTaskLine(const std::string& path, const std::string& line);

std::string EncodeTaskText(const std::string& text);
std::string DecodeTaskText(const std::string& text);

inline constexpr const char* kTaskFileName = "batch_tasks.txt";
