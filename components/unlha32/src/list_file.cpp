#include "list_file.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "outcome.h"

namespace unlha32 {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void parseLine(std::string_view line, std::vector<std::string>& names) {
    std::size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? line.size() : close;
            if (end > i + 1) names.emplace_back(line.substr(i + 1, end - i - 1));
            i = end == line.size() ? end : end + 1;
            continue;
        }
        // The shortest run up to a space that names an existing file; when none
        // does, the first piece, so the error later names what is missing.
        std::size_t end = i;
        while (end < line.size() && !isBlank(line[end])) ++end;
        const std::size_t firstEnd = end;
        bool found = exists(std::string(line.substr(i, end - i)));
        while (!found && end < line.size()) {
            ++end;
            while (end < line.size() && !isBlank(line[end])) ++end;
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
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        parseLine(text.substr(start, end - start), names);
        start = end + 1;
    }
    return names;
}

bool readListFile(const std::string& path, std::vector<std::string>& names, std::string& reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = "リストファイルを開けません: " + printable(path);
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) {
        reason = "リストファイルを読めません: " + printable(path);
        return false;
    }
    names = parseListText(text);
    return true;
}

}  // namespace unlha32
