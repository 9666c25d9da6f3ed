#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace dozo {

// Everything the application asks of the user goes through here, so that the
// window can be driven by tests that answer in advance. Filters are written
// as "text|pattern" pairs; the Qt implementation converts them.
//
// File dialogs open where a path given to them lies (its nearest existing
// folder), else in the user's home, never in the process's current folder.
// A proposed name is a file name or a path; a path that ends in "/" names
// only the folder to open in.
class UiServices {
public:
    // OkOpenFolder: OK and a button that asks for a folder to be opened
    // (Answer::OpenFolder); the caller opens it.
    enum class Buttons { Ok, YesNo, OkOpenFolder };
    enum class Icon { None, Information, Question, Error };
    enum class Answer { Ok, Yes, No, OpenFolder };

    virtual ~UiServices() = default;

    // A box dismissed without a button counts as No for Yes/No boxes.
    virtual Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                              Icon icon) = 0;
    // The same with `details` below the text, set apart from it (what a run
    // wrote and where).
    virtual Answer detailedMessageBox(const QString& text, const QString& details,
                                      const QString& title, Buttons buttons, Icon icon) = 0;

    // nullopt when cancelled.
    virtual std::optional<QString> openFileDialog(const QString& title, const QString& filter,
                                                  const QString& proposedName) = 0;
    // The open dialog for several files at once, opening in `startFolder`
    // (empty: the user's home); nullopt when cancelled.
    virtual std::optional<QStringList> openFilesDialog(const QString& title, const QString& filter,
                                                       const QString& startFolder) = 0;
    // What choosing a file that exists does to it: the dialog asks before a
    // file is replaced, but an archive is added to, and its own question
    // (asked by the caller) says so rather than "replace".
    enum class Existing { Replaced, AddedTo };
    // With `type`: the file type (the index of a filter pair) selected as the
    // dialog opens, and on return the one the user chose.
    virtual std::optional<QString> saveFileDialog(const QString& title, const QString& filter,
                                                  const QString& proposedName, Existing existing,
                                                  int* type = nullptr) = 0;
    // Opens in `startFolder` (empty: the user's home).
    virtual std::optional<QString> browseFolder(const QString& prompt,
                                                const QString& startFolder) = 0;
    // A line typed where it cannot be seen, as a key or password is typed
    // again to confirm it; nullopt when cancelled.
    virtual std::optional<QString> askSecret(const QString& prompt, const QString& title) = 0;

    // A document, or a folder in the file manager; false when no program
    // could be found to open it.
    virtual bool openDocument(const QString& path) = 0;
    // true when the program was started.
    virtual bool startProgram(const QString& path) = 0;
};

}  // namespace dozo
