#include "command/list_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "command/outcome.h"
#include "dozo/contracts/list_file.h"

namespace unlha32 {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

using dozo::contracts::isListFileBlank;
using dozo::contracts::kListFileQuote;

void parseLine(std::string_view line, std::vector<std::string>& names) {
    std::size_t i = 0;
    while (i < line.size()) {
        if (isListFileBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == kListFileQuote) {
            std::string name;
            for (++i; i < line.size(); ++i) {
                if (line[i] != kListFileQuote) {
                    name += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == kListFileQuote) {
                    name += line[++i];
                } else {
                    ++i;
                    break;
                }
            }
            if (!name.empty()) names.push_back(std::move(name));
            continue;
        }
        // The shortest run up to a space that names an existing file; when none
        // does, the first piece, so the error later names what is missing.
        std::size_t end = i;
        while (end < line.size() && !isListFileBlank(line[end])) ++end;
        const std::size_t firstEnd = end;
        bool found = exists(std::string(line.substr(i, end - i)));
        while (!found && end < line.size()) {
            ++end;
            while (end < line.size() && !isListFileBlank(line[end])) ++end;
            found = exists(std::string(line.substr(i, end - i)));
        }
        if (!found) end = firstEnd;
        names.emplace_back(line.substr(i, end - i));
        i = end;
    }
}

}  // namespace

std::vector<std::string> parseListText(std::string_view text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !dozo::contracts::isListFileLineBreak(text[end])) ++end;
        parseLine(text.substr(start, end - start), names);
        start = end + 1;
    }
    return names;
}

bool readListFile(const std::string& path, std::vector<std::string>& names, std::string& reason,
                  int& error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = errno;
        reason = "リストファイルを開けません: " + printable(path);
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) {
        error = errno;
        reason = "リストファイルを読めません: " + printable(path);
        return false;
    }
    names = parseListText(text);
    return true;
}

}  // namespace unlha32
