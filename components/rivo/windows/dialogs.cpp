#include "dialogs.h"

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "format.h"
#include "licenses.h"
#include "messages.h"
#include "wide.h"

namespace dozo::rivo::ui {
namespace {

constexpr int kText = 100, kField = 101, kShow = 102, kIcon = 103, kLicenses = 104, kBar = 105;
constexpr int kFirstButton = 1000;
// A system menu command of ours: below 0xF000 and a multiple of 16.
constexpr UINT kAboutCommand = 0x0010;

constexpr WORD kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082;

// A dialog template built in memory (DLGTEMPLATEEX), so the texts can be the
// user's language and nothing needs a resource per language. Positions are
// set when the dialog opens, from the sizes of its texts in its font.
class Template {
public:
    Template(const std::wstring& title, DWORD style) {
        add(1);
        add(0xFFFF);
        add32(0);  // help
        add32(0);  // extended style
        add32(style | DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        count_ = words_.size();
        add(0);
        for (int i = 0; i < 4; ++i) add(0);  // placed and sized when it opens
        add(0);                              // no menu
        add(0);                              // the dialog class
        add(title);
        add(9);  // points
        add(FW_NORMAL);
        add(0);  // not italic, default character set
        add(L"MS Shell Dlg");
    }

    void control(WORD kind, int id, DWORD style, const std::wstring& text = {}) {
        if (words_.size() % 2 != 0) add(0);
        add32(0);  // help
        add32(0);  // extended style
        add32(style | WS_CHILD | WS_VISIBLE);
        for (int i = 0; i < 4; ++i) add(0);
        add32(static_cast<DWORD>(id));
        add(0xFFFF);
        add(kind);
        add(text);
        add(0);  // no creation data
        ++words_[count_];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }
    std::vector<unsigned short> take() { return std::move(words_); }

private:
    void add(WORD w) { words_.push_back(w); }
    void add32(DWORD d) {
        add(LOWORD(d));
        add(HIWORD(d));
    }
    void add(const std::wstring& s) {
        words_.insert(words_.end(), s.begin(), s.end());
        add(0);
    }

    std::vector<unsigned short> words_;
    std::size_t count_ = 0;
};

// The text with Windows line ends, as a static or edit control wants it.
std::wstring lines(const std::string& text) {
    std::wstring out;
    for (const wchar_t c : wide(text)) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r')) out.pop_back();
    return out;
}

// Dialog units to pixels, horizontally and vertically.
int dluX(HWND dialog, int units) {
    RECT r{0, 0, units, 0};
    ::MapDialogRect(dialog, &r);
    return r.right;
}
int dluY(HWND dialog, int units) {
    RECT r{0, 0, 0, units};
    ::MapDialogRect(dialog, &r);
    return r.bottom;
}

SIZE textSize(HWND control, int width) {
    const std::wstring text = [&] {
        std::wstring t(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
        t.resize(static_cast<std::size_t>(::GetWindowTextW(control, t.data(), int(t.size()))));
        return t;
    }();
    const HDC dc = ::GetDC(control);
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

void place(HWND control, int x, int y, int cx, int cy) {
    ::SetWindowPos(control, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Lays out a dialog as one column: an icon beside the text, full-width rows
// below it, then the buttons in a row on the right. Sizes the dialog to fit
// and puts it in the middle of the screen.
void arrange(HWND dialog, HWND icon, HWND text, const std::vector<std::pair<HWND, int>>& rows,
             const std::vector<HWND>& buttons, int textWidth = 250) {
    const int margin = dluX(dialog, 7), gap = dluY(dialog, 5);
    int x = margin, y = dluY(dialog, 7);
    const int iconSize = ::GetSystemMetrics(SM_CXICON);
    if (icon != nullptr) {
        place(icon, x, y, iconSize, iconSize);
        x += iconSize + margin;
    }
    // As wide as the text needs, within bounds; rows below get the same width.
    SIZE t = textSize(text, dluX(dialog, textWidth));
    const int width =
        rows.empty() ? std::max<int>(t.cx, dluX(dialog, 150)) : dluX(dialog, textWidth);
    t = textSize(text, width);
    place(text, x, y, width, t.cy);
    y += std::max<int>(t.cy, icon != nullptr ? iconSize : 0) + gap;
    for (const auto& [row, height] : rows) {
        const int h = dluY(dialog, height);
        place(row, x, y, width, h);
        y += h + gap;
    }
    y += gap;
    const int buttonHeight = dluY(dialog, 14), spacing = dluX(dialog, 4);
    int right = x + width;
    for (auto b = buttons.rbegin(); b != buttons.rend(); ++b) {
        const int w = std::max<int>(dluX(dialog, 50), textSize(*b, 1000).cx + dluX(dialog, 12));
        right -= w;
        place(*b, right, y, w, buttonHeight);
        right -= spacing;
    }
    RECT frame{0, 0, x + width + margin, y + buttonHeight + dluY(dialog, 7)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int cx = frame.right - frame.left, cy = frame.bottom - frame.top;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::SetWindowPos(dialog, HWND_TOP, work.left + (work.right - work.left - cx) / 2,
                   work.top + (work.bottom - work.top - cy) / 2, cx, cy, 0);
}

std::wstring label(const char* english) {
    return wide(text(english));
}

// About: the program, its version and the notices of the libraries in it.
INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        const HWND notices = ::GetDlgItem(dialog, kLicenses);
        ::SetWindowTextW(notices, lines(licenses()).c_str());
        arrange(dialog, nullptr, ::GetDlgItem(dialog, kText), {{notices, 160}},
                {::GetDlgItem(dialog, IDOK)}, 300);
        // Read from the top, nothing selected; Enter closes.
        ::SendMessageW(notices, EM_SETSEL, 0, 0);
        ::SetFocus(::GetDlgItem(dialog, IDOK));
        return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

void about(HWND owner) {
    Template t(label(Msg::aboutTitle), 0);
    char version[128];
    std::snprintf(version, sizeof version, text(Msg::version), kProgramVersion,
                  unsigned{kFormatVersion});
    t.control(kStaticClass, kText, SS_LEFT | SS_NOPREFIX, lines(version));
    t.control(kEditClass, kLicenses,
              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP);
    t.control(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, L"OK");
    ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.get(), owner, aboutProc, 0);
}

void addAboutItem(HWND dialog) {
    const HMENU menu = ::GetSystemMenu(dialog, FALSE);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kAboutCommand, label(Msg::aboutItem).c_str());
}

bool aboutAsked(UINT message, WPARAM wParam) {
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == kAboutCommand;
}

// The password dialog while it is open: the boxes it shows belong to it.
HWND gOwner = nullptr;

struct Asking {
    std::string question;
    Password* out;
    const std::function<bool(const Password&)>* check;
    wchar_t mask = 0;
};

// What the field holds, as UTF-8 in the password's locked buffer; the
// field's own copy goes through a locked buffer too and is wiped.
void takePassword(HWND field, Password& out) {
    out.length = 0;
    out.tooLong = false;
    const int units = ::GetWindowTextLengthW(field);
    auto* typed = static_cast<wchar_t*>(sodium_malloc((static_cast<std::size_t>(units) + 1) * 2));
    if (typed == nullptr || out.bytes == nullptr) {
        if (typed != nullptr) sodium_free(typed);
        return;
    }
    const int n = ::GetWindowTextW(field, typed, units + 1);
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, typed, n, nullptr, 0, nullptr, nullptr);
    if (needed > RIVO_PASSWORD_MAX) {
        out.tooLong = true;
    } else {
        ::WideCharToMultiByte(CP_UTF8, 0, typed, n, out.bytes, RIVO_PASSWORD_MAX, nullptr, nullptr);
        out.length = static_cast<std::size_t>(needed);
    }
    out.bytes[out.length] = '\0';
    sodium_free(typed);
}

INT_PTR CALLBACK passwordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* asking = reinterpret_cast<Asking*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        asking = reinterpret_cast<Asking*>(lParam);
        gOwner = dialog;
        const HWND field = ::GetDlgItem(dialog, kField);
        asking->mask = static_cast<wchar_t>(::SendMessageW(field, EM_GETPASSWORDCHAR, 0, 0));
        ::SendMessageW(field, EM_LIMITTEXT, RIVO_PASSWORD_MAX, 0);
        addAboutItem(dialog);
        arrange(dialog, nullptr, ::GetDlgItem(dialog, kText),
                {{field, 12}, {::GetDlgItem(dialog, kShow), 10}},
                {::GetDlgItem(dialog, IDOK), ::GetDlgItem(dialog, IDCANCEL)});
        ::SetForegroundWindow(dialog);
        ::SetFocus(field);
        return FALSE;
    }
    if (aboutAsked(message, wParam)) {
        about(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const HWND field = ::GetDlgItem(dialog, kField);
    switch (LOWORD(wParam)) {
        case kShow: {
            const bool show = ::IsDlgButtonChecked(dialog, kShow) == BST_CHECKED;
            ::SendMessageW(field, EM_SETPASSWORDCHAR, show ? 0 : asking->mask, 0);
            ::InvalidateRect(field, nullptr, TRUE);
            return TRUE;
        }
        case IDOK: {
            if (::GetWindowTextLengthW(field) == 0) {
                ::MessageBeep(MB_ICONWARNING);
                ::SetFocus(field);
                return TRUE;
            }
            takePassword(field, *asking->out);
            const HCURSOR cursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            const bool done = (*asking->check)(*asking->out);
            ::SetCursor(cursor);
            if (done) {
                ::EndDialog(dialog, IDOK);
            } else {
                ::SetWindowTextW(field, L"");
                ::SetFocus(field);
            }
            return TRUE;
        }
        case IDCANCEL:
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

struct Boxed {
    Icon icon;
    std::size_t buttons;
    int cancel;
    int byDefault;
};

INT_PTR CALLBACK boxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* boxed = reinterpret_cast<const Boxed*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, static_cast<LONG_PTR>(boxed->cancel));
        const wchar_t* icon = boxed->icon == Icon::error      ? IDI_ERROR
                              : boxed->icon == Icon::warning  ? IDI_WARNING
                              : boxed->icon == Icon::question ? IDI_QUESTION
                                                              : IDI_INFORMATION;
        const HWND iconControl = ::GetDlgItem(dialog, kIcon);
        ::SendMessageW(iconControl, STM_SETICON,
                       reinterpret_cast<WPARAM>(::LoadIconW(nullptr, icon)), 0);
        std::vector<HWND> buttons;
        for (std::size_t i = 0; i < boxed->buttons; ++i)
            buttons.push_back(::GetDlgItem(dialog, kFirstButton + static_cast<int>(i)));
        arrange(dialog, iconControl, ::GetDlgItem(dialog, kText), {}, buttons);
        addAboutItem(dialog);
        ::MessageBeep(boxed->icon == Icon::error ? MB_ICONERROR : MB_ICONINFORMATION);
        ::SetForegroundWindow(dialog);
        ::SetFocus(buttons[static_cast<std::size_t>(boxed->byDefault)]);
        return FALSE;
    }
    if (aboutAsked(message, wParam)) {
        about(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
            ::EndDialog(dialog, ::GetWindowLongPtrW(dialog, DWLP_USER));
            return TRUE;
        }
        if (id >= kFirstButton) {
            ::EndDialog(dialog, id - kFirstButton);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

Got askPassword(const std::string& question, Password& out,
                const std::function<bool(const Password&)>& check) {
    Template t(label(Msg::dialogTitle), 0);
    t.control(kStaticClass, kText, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, lines(question));
    t.control(kEditClass, kField, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP);
    t.control(kButtonClass, kShow, BS_AUTOCHECKBOX | WS_TABSTOP, label(Msg::showPassword));
    t.control(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, L"OK");
    t.control(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, label(Msg::cancel));
    Asking asking{question, &out, &check};
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.get(), nullptr, passwordProc,
                                  reinterpret_cast<LPARAM>(&asking));
    gOwner = nullptr;
    if (result == IDOK) return Got::password;
    return result == IDCANCEL ? Got::none : Got::error;
}

int box(Icon icon, const std::string& message, const std::vector<const char*>& buttons, int cancel,
        int byDefault) {
    Template t(label(Msg::dialogTitle), 0);
    t.control(kStaticClass, kIcon, SS_ICON);
    t.control(kStaticClass, kText, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, lines(message));
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const DWORD kind = static_cast<int>(i) == byDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        t.control(kButtonClass, kFirstButton + static_cast<int>(i), kind | WS_TABSTOP,
                  buttons[i] == std::string_view("OK") ? L"OK" : label(buttons[i]));
    }
    Boxed boxed{icon, buttons.size(), cancel, byDefault};
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.get(), gOwner,
                                                     boxProc, reinterpret_cast<LPARAM>(&boxed));
    return result < 0 ? cancel : static_cast<int>(result);
}

std::optional<std::wstring> saveAs(const std::wstring& folder, const std::wstring& name) {
    std::wstring file(32768, L'\0');
    std::copy(name.begin(), name.begin() + std::min<std::size_t>(name.size(), 32767), file.begin());
    std::wstring filter = label(Msg::allFiles);
    filter.append(L"\0*.*\0\0", 6);
    const std::wstring title = label(Msg::saveAsTitle);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameW(&dialog)) return std::nullopt;
    file.resize(file.find(L'\0'));
    return file;
}

void showInFolder(const std::wstring& file) {
    // Names on Windows hold no double quote: quoting the path is enough.
    const std::wstring arguments = L"/select,\"" + file + L"\"";
    ::ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

Progress::~Progress() {
    if (window_ != nullptr) ::DestroyWindow(static_cast<HWND>(window_));
}

void Progress::progress(unsigned long long done, unsigned long long total) {
    if (window_ == nullptr) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        Template t(label(Msg::dialogTitle), 0);
        t.control(kStaticClass, kText, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, lines(text_));
        template_ = t.take();
        const HWND dialog = ::CreateDialogIndirectParamW(
            ::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(template_.data()),
            nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        if (dialog == nullptr) return;
        const HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0,
                                           0, 0, dialog, reinterpret_cast<HMENU>(kBar),
                                           ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
        arrange(dialog, nullptr, ::GetDlgItem(dialog, kText), {{bar, 10}}, {});
        ::ShowWindow(dialog, SW_SHOW);
        window_ = dialog;
    }
    const HWND dialog = static_cast<HWND>(window_);
    const auto permille = total == 0 ? 1000 : static_cast<WPARAM>(done * 1000 / total);
    ::SendDlgItemMessageW(dialog, kBar, PBM_SETPOS, permille, 0);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageW(dialog, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

}  // namespace dozo::rivo::ui
