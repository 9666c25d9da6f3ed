#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace unlha32 {

struct Command {
    enum class Kind { pack, extract, list, test };
    Kind kind = Kind::pack;
    bool recurse = false;  // -r2: a folder argument brings everything under it
    std::string archive;
    std::string argument;  // the file to pack, the list file (without '@') or the destination;
                           // empty for list and test
    bool argumentIsList = false;
    std::optional<Compression> method;  // -m5, -m6, -m7 (pack): instead of the settings
    std::optional<Level> level;         // -e1 (normal), -e2 (max) (pack): the same
    std::optional<bool> overwrite;      // -o1, -o0 (extract): instead of the settings
};

// Splits at spaces and tabs; double quotes group and are removed. A backslash is
// an ordinary character, so "C:\dest\" keeps its trailing backslash. False for
// an unterminated quote.
bool tokenize(std::string_view line, std::vector<std::string>& tokens);

// Accepts "u -a1 [-r2] [-m5|-m6|-m7] [-e1|-e2] archive argument", "x -a1 [-o0|-o1] archive
// destination", "l -a1 archive" and "t -a1 archive".
bool parseCommandLine(std::string_view line, Command& command, std::string& reason);

}  // namespace unlha32
