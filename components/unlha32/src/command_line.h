#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unlha32 {

struct Command {
    enum class Kind { pack, extract, list, test };
    Kind kind = Kind::pack;
    bool recurse = false;  // -r2: a folder argument brings everything under it
    std::string archive;
    std::string argument;  // the file to pack, the list file (without '@') or the destination;
                           // empty for list and test
    bool argumentIsList = false;
};

// Splits at spaces and tabs; double quotes group and are removed. A backslash is
// an ordinary character, so "C:\dest\" keeps its trailing backslash. False for
// an unterminated quote.
bool tokenize(std::string_view line, std::vector<std::string>& tokens);

// Accepts "u -a1 [-r2] archive argument", "x -a1 archive destination", "l -a1
// archive" and "t -a1 archive".
bool parseCommandLine(std::string_view line, Command& command, std::string& reason);

}  // namespace unlha32
