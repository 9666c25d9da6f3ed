#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace dozo {

// Everything the application asks of the user goes through here, so that the
// window can be driven by tests that answer in advance. Filters are written
// as "text|pattern" pairs; the Qt implementation converts them.
class UiServices {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { None, Information, Question, Error };
    enum class Answer { Ok, Yes, No };

    virtual ~UiServices() = default;

    // A box dismissed without a button counts as No for Yes/No boxes.
    virtual Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                              Icon icon) = 0;

    // nullopt when cancelled.
    virtual std::optional<QString> openFileDialog(const QString& title, const QString& filter,
                                                  const QString& proposedName) = 0;
    // The open dialog for several files at once; nullopt when cancelled.
    virtual std::optional<QStringList> openFilesDialog(const QString& title,
                                                       const QString& filter) = 0;
    // What choosing a file that exists does to it: the dialog asks before a
    // file is replaced, but an archive is added to, and its own question
    // (asked by the caller) says so rather than "replace".
    enum class Existing { Replaced, AddedTo };
    virtual std::optional<QString> saveFileDialog(const QString& title, const QString& filter,
                                                  const QString& proposedName,
                                                  Existing existing) = 0;
    virtual std::optional<QString> browseFolder(const QString& prompt) = 0;
    // A line typed where it cannot be seen, as a key or password is typed
    // again to confirm it; nullopt when cancelled.
    virtual std::optional<QString> askSecret(const QString& prompt, const QString& title) = 0;

    // false when no program could be found to open it.
    virtual bool openDocument(const QString& path) = 0;
    // true when the program was started.
    virtual bool startProgram(const QString& path) = 0;
};

}  // namespace dozo
