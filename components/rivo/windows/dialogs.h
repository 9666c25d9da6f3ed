#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "secret.h"

namespace dozo::rivo::ui {

// Every text given here is shown as plain text: no & in a name becomes a
// mnemonic, and names reach the dialogs escaped as the terminal shows them.

enum class Icon { information, warning, error, question };

// The password dialog: `question` above a masked field, a check box that
// shows what was typed, OK and Cancel, and the About entry in its system
// menu. On OK `check` gets the password while the dialog stays on screen;
// it returns false to ask again (it has said why), true to close. Got::none
// on Cancel.
Got askPassword(const std::string& question, Password& out,
                const std::function<bool(const Password&)>& check);

// A message box of our own, so that its buttons say what they do (each a
// Msg text, or "OK"): the index of the button pressed, `cancel` for Escape or
// the close box.
int box(Icon icon, const std::string& text, const std::vector<const char*>& buttons, int cancel = 0,
        int byDefault = 0);

// The save dialog, in `folder` with `name` proposed; asks before an
// existing file is replaced. nullopt when cancelled.
std::optional<std::wstring> saveAs(const std::wstring& folder, const std::wstring& name);

// Explorer, in the folder of `file`, with the file selected.
void showInFolder(const std::wstring& file);

// A window that says the file is being restored while that takes long:
// shown from the first call of `progress` on, gone when this goes away.
class Progress {
public:
    explicit Progress(std::string text) : text_(std::move(text)) {}
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void progress(unsigned long long done, unsigned long long total);

private:
    std::string text_;
    std::vector<unsigned short> template_;
    void* window_ = nullptr;
};

}  // namespace dozo::rivo::ui
