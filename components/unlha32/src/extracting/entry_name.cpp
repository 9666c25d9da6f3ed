#include "extracting/entry_name.h"

#include "dozo/fileio/printable.h"

namespace unlha32 {
namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool splitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason) {
    parts.clear();
    if (name.empty()) {
        reason = "名前のない項目";
        return false;
    }
    if (isSeparator(name[0])) {
        reason = name.size() > 1 && isSeparator(name[1]) ? "UNC形式の名前" : "絶対パスの名前";
        return false;
    }
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':') {
        reason = "ドライブ名付きの名前";
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        const std::string_view part = name.substr(start, end - start);
        if (part == "..") {
            reason = "「..」を含む名前";
            return false;
        }
        if (!part.empty() && part != ".") parts.emplace_back(part);
        start = end + 1;
    }
    if (parts.empty()) {
        reason = "名前のない項目";
        return false;
    }
    return true;
}

bool namesTheTop(std::string_view name) {
    return !name.empty() && name[0] == '.' &&
           name.find_first_not_of("./\\") == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

bool placeEntryName(const char* storedName, bool folder, PlacedName& out, std::string& reason) {
    out.renamed = !dozo::fileio::isUtf8(storedName);
    out.placed = out.renamed ? dozo::fileio::diskName(storedName) : std::string(storedName);
    out.top = folder && namesTheTop(out.placed);
    out.parts.clear();
    return out.top || splitEntryName(out.placed, out.parts, reason);
}

bool extractedName(std::string_view name, std::string& joined) {
    std::vector<std::string> parts;
    std::string why;
    if (!splitEntryName(name, parts, why)) return false;
    joined.clear();
    for (const std::string& part : parts) joined += (joined.empty() ? "" : "/") + part;
    return true;
}

}  // namespace unlha32
