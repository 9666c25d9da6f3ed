// Reads a dialog of another program the way a user does: finds the window
// that shows a button with a given text, prints every text it shows (UTF-8,
// one control a line) and presses another of its buttons. Run under Wine
// beside the package whose dialogs a test drives; never shipped.
//
//   rivo-probe FIND PRESS SECONDS
//
// PRESS "-" presses nothing: the probe only waits for the window. Exit 0 when
// found and pressed (and the window gone); 1, with the titles of the windows
// there were, when no such window showed in time.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

// A control's text, its line ends as "\n".
std::wstring textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    std::wstring lines;
    for (const wchar_t c : text)
        if (c != L'\r') lines += c;
    return lines;
}

struct Search {
    std::wstring find, press;
    HWND dialog = nullptr;
    HWND button = nullptr;
    std::vector<HWND> children;
    std::vector<std::wstring> seen;
};

BOOL CALLBACK topLevel(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    if (!::IsWindowVisible(window)) return TRUE;
    search.seen.push_back(textOf(window));
    search.children.clear();
    const auto child = [](HWND c, LPARAM all) -> BOOL {
        reinterpret_cast<Search*>(all)->children.push_back(c);
        return TRUE;
    };
    ::EnumChildWindows(window, child, context);
    bool found = false;
    HWND press = nullptr;
    for (const HWND c : search.children) {
        const std::wstring text = textOf(c);
        if (text == search.find) found = true;
        if (text == search.press) press = c;
    }
    if (!found || (press == nullptr && search.press != L"-")) return TRUE;
    search.dialog = window;
    search.button = press;
    return FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("usage: rivo-probe FIND PRESS SECONDS\n", stderr);
        return 2;
    }
    // Lines end as written, not as text mode would make them.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    Search search;
    search.find = argv[1];
    search.press = argv[2];
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    while (search.dialog == nullptr && ::GetTickCount() < deadline) {
        search.seen.clear();
        ::EnumWindows(topLevel, reinterpret_cast<LPARAM>(&search));
        if (search.dialog == nullptr) ::Sleep(100);
    }
    if (search.dialog == nullptr) {
        std::fputs("no such window; there were:\n", stdout);
        for (const std::wstring& title : search.seen) std::printf("  %s\n", utf8(title).c_str());
        return 1;
    }
    std::printf("%s\n", utf8(textOf(search.dialog)).c_str());
    for (const HWND c : search.children) std::printf("%s\n", utf8(textOf(c)).c_str());
    std::fflush(stdout);
    if (search.button == nullptr) return 0;
    ::PostMessageW(search.dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(search.button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(search.button));
    // Gone before this returns, so that what is on screen next is what follows.
    for (int i = 0; i < 100 && ::IsWindow(search.dialog) && ::IsWindowVisible(search.dialog); ++i)
        ::Sleep(50);
    return 0;
}
