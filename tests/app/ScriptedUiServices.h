#pragma once

#include "app/shell/UiServices.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

// Answers every dialog from a queue filled by the test beforehand and records
// what the application asked. A call with nothing queued, or with an answer
// of the wrong kind at the head of the queue, fails the running test; so does
// an answer left unused when the services are destroyed.
class ScriptedUiServices : public dozo::UiServices {
public:
    enum class Kind {
        MessageBox,
        OpenFile,
        OpenFiles,
        SaveFile,
        BrowseFolder,
        OpenDocument,
        StartProgram,
        Secret
    };

    struct Call {
        Kind kind;
        QString text;   // message text, folder prompt, document or program path
        QString title;  // message or dialog title
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QString filter;
        QString proposedName;
        // Of a save dialog: whether it asks before replacing a file.
        bool asksToReplace = false;
    };

    ~ScriptedUiServices() override;

    void answerMessage(Answer answer);
    void answerOpenFile(std::optional<QString> path);
    void answerOpenFiles(std::optional<QStringList> paths);
    void answerSaveFile(std::optional<QString> path);
    void answerFolder(std::optional<QString> folder);
    // What is typed into the hidden field; nullopt: cancelled.
    void answerSecret(std::optional<QString> text);
    void answerStartProgram(bool started);
    // Whether the next document finds a program to open it.
    void answerOpenDocument(bool opened);

    const std::vector<Call>& calls() const { return m_calls; }
    std::size_t pending() const { return m_queue.size(); }

    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override;
    std::optional<QString> openFileDialog(const QString& title, const QString& filter,
                                          const QString& proposedName) override;
    std::optional<QStringList> openFilesDialog(const QString& title,
                                               const QString& filter) override;
    std::optional<QString> saveFileDialog(const QString& title, const QString& filter,
                                          const QString& proposedName, Existing existing) override;
    std::optional<QString> browseFolder(const QString& prompt) override;
    std::optional<QString> askSecret(const QString& prompt, const QString& title) override;
    bool openDocument(const QString& path) override;
    bool startProgram(const QString& path) override;

private:
    struct Queued {
        Kind kind;
        Answer answer = Answer::Ok;
        std::optional<QString> path;
        bool started = false;  // also whether a document opened
        std::optional<QStringList> paths;
    };

    // The queued answer for `call`, or nullopt (after failing the test).
    std::optional<Queued> take(const Call& call);

    std::deque<Queued> m_queue;
    std::vector<Call> m_calls;
};
