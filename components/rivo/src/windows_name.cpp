#include "windows_name.h"

#include <array>

#include "dozo/fileio/printable.h"

namespace dozo::rivo {
namespace {

bool reservedCharacter(unsigned char c) {
    return c < 0x20 || c == 0x7f ||
           std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The device names Windows finds in every folder, whatever follows a dot:
// "con.txt" opens the console. Windows also takes the superscript digits
// (¹ ² ³, in UTF-8) for the port numbers.
bool deviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    // "NUL .txt" is the device too: spaces before the dot do not count.
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string whole;
    for (const char c : base) whole.push_back(upper(c));
    // The console's own two, and one older systems keep.
    if (whole == "CONIN$" || whole == "CONOUT$" || whole == "CLOCK$") return true;
    const std::string head = whole.substr(0, 3);
    if (base.size() == 3) return head == "CON" || head == "PRN" || head == "AUX" || head == "NUL";
    if (head != "COM" && head != "LPT") return false;
    const std::string_view number = base.substr(3);
    if (number.size() == 1) return number[0] >= '1' && number[0] <= '9';
    constexpr std::array<std::string_view, 3> superscripts = {"\xc2\xb9", "\xc2\xb2", "\xc2\xb3"};
    for (const std::string_view s : superscripts)
        if (number == s) return true;
    return false;
}

}  // namespace

std::string windowsName(std::string_view stored, const std::string& fallback) {
    std::string name = fileio::diskName(stored);
    for (char& c : name)
        if (reservedCharacter(static_cast<unsigned char>(c))) c = '_';
    for (auto end = name.rbegin(); end != name.rend() && (*end == '.' || *end == ' '); ++end)
        *end = '_';
    if (name.empty()) return fallback;
    if (deviceName(name)) name.insert(0, 1, '_');
    return name;
}

}  // namespace dozo::rivo
