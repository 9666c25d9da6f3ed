#include "ScriptedUiServices.h"

#include <gtest/gtest.h>

namespace {

const char* kindName(ScriptedUiServices::Kind kind) {
    using Kind = ScriptedUiServices::Kind;
    switch (kind) {
        case Kind::MessageBox:
            return "message box";
        case Kind::OpenFile:
            return "open dialog";
        case Kind::OpenFiles:
            return "open dialog for several files";
        case Kind::SaveFile:
            return "save dialog";
        case Kind::BrowseFolder:
            return "folder browser";
        case Kind::OpenDocument:
            return "open document";
        case Kind::StartProgram:
            return "start program";
        case Kind::Secret:
            return "hidden entry";
    }
    return "?";
}

}  // namespace

ScriptedUiServices::~ScriptedUiServices() {
    if (!m_queue.empty()) {
        ADD_FAILURE() << m_queue.size()
                      << " scripted answer(s) never asked for; the first is for a "
                      << kindName(m_queue.front().kind);
    }
}

void ScriptedUiServices::answerMessage(Answer answer) {
    m_queue.push_back({Kind::MessageBox, answer, std::nullopt, false, std::nullopt});
}

void ScriptedUiServices::answerOpenFile(std::optional<QString> path) {
    m_queue.push_back({Kind::OpenFile, Answer::Ok, std::move(path), false, std::nullopt});
}

void ScriptedUiServices::answerOpenFiles(std::optional<QStringList> paths) {
    Queued queued{Kind::OpenFiles, Answer::Ok, std::nullopt, false, std::move(paths)};
    m_queue.push_back(std::move(queued));
}

void ScriptedUiServices::answerOpenDocument(bool opened) {
    m_queue.push_back({Kind::OpenDocument, Answer::Ok, std::nullopt, opened, std::nullopt});
}

void ScriptedUiServices::answerSaveFile(std::optional<QString> path) {
    m_queue.push_back({Kind::SaveFile, Answer::Ok, std::move(path), false, std::nullopt});
}

void ScriptedUiServices::answerFolder(std::optional<QString> folder) {
    m_queue.push_back({Kind::BrowseFolder, Answer::Ok, std::move(folder), false, std::nullopt});
}

void ScriptedUiServices::answerSecret(std::optional<QString> text) {
    m_queue.push_back({Kind::Secret, Answer::Ok, std::move(text), false, std::nullopt});
}

void ScriptedUiServices::answerStartProgram(bool started) {
    m_queue.push_back({Kind::StartProgram, Answer::Ok, std::nullopt, started, std::nullopt});
}

std::optional<ScriptedUiServices::Queued> ScriptedUiServices::take(const Call& call) {
    m_calls.push_back(call);
    if (m_queue.empty()) {
        ADD_FAILURE() << "Unexpected " << kindName(call.kind) << " with nothing scripted: \""
                      << call.text.toStdString() << "\" titled \"" << call.title.toStdString()
                      << "\"";
        return std::nullopt;
    }
    Queued next = m_queue.front();
    m_queue.pop_front();
    if (next.kind != call.kind) {
        ADD_FAILURE() << "Scripted a " << kindName(next.kind) << " but got a "
                      << kindName(call.kind) << ": \"" << call.text.toStdString() << "\"";
        return std::nullopt;
    }
    return next;
}

dozo::UiServices::Answer ScriptedUiServices::messageBox(const QString& text, const QString& title,
                                                        Buttons buttons, Icon icon) {
    const auto answer = take({Kind::MessageBox, text, title, buttons, icon, {}, {}});
    if (answer) return answer->answer;
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

std::optional<QString> ScriptedUiServices::openFileDialog(const QString& title,
                                                          const QString& filter,
                                                          const QString& proposedName) {
    const auto answer =
        take({Kind::OpenFile, {}, title, Buttons::Ok, Icon::None, filter, proposedName});
    return answer ? answer->path : std::nullopt;
}

std::optional<QStringList> ScriptedUiServices::openFilesDialog(const QString& title,
                                                               const QString& filter) {
    const auto answer = take({Kind::OpenFiles, {}, title, Buttons::Ok, Icon::None, filter, {}});
    return answer ? answer->paths : std::nullopt;
}

std::optional<QString> ScriptedUiServices::saveFileDialog(const QString& title,
                                                          const QString& filter,
                                                          const QString& proposedName,
                                                          Existing existing) {
    const auto answer = take({Kind::SaveFile,
                              {},
                              title,
                              Buttons::Ok,
                              Icon::None,
                              filter,
                              proposedName,
                              existing == Existing::Replaced});
    return answer ? answer->path : std::nullopt;
}

std::optional<QString> ScriptedUiServices::browseFolder(const QString& prompt) {
    const auto answer = take({Kind::BrowseFolder, prompt, {}, Buttons::Ok, Icon::None, {}, {}});
    return answer ? answer->path : std::nullopt;
}

std::optional<QString> ScriptedUiServices::askSecret(const QString& prompt, const QString& title) {
    const auto answer = take({Kind::Secret, prompt, title, Buttons::Ok, Icon::None, {}, {}});
    return answer ? answer->path : std::nullopt;
}

bool ScriptedUiServices::openDocument(const QString& path) {
    const auto answer = take({Kind::OpenDocument, path, {}, Buttons::Ok, Icon::None, {}, {}});
    return answer && answer->started;
}

bool ScriptedUiServices::startProgram(const QString& path) {
    const auto answer = take({Kind::StartProgram, path, {}, Buttons::Ok, Icon::None, {}, {}});
    return answer && answer->started;
}
