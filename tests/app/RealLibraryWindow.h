#pragma once

#include "SampleBytes.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/window/frmMain.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QWidget;

// The first line of the error box when an archiver run fails, on the archive
// and the package tabs alike.
inline const QString kAborted = QStringLiteral("エラー発生。処理を中断します。");
// What a pack and an unpack that went through say.
inline const QString kPacked = QStringLiteral("圧縮完了！");
inline const QString kUnpacked = QStringLiteral("展開完了！");

// The real main window, shown offscreen, with the project's own archiver and
// package libraries in its system directory and a scratch folder for the
// files a test works on. The archiver's settings are pointed at test values
// while the object lives; the package library is its test build (cheapest
// key derivation).
class RealLibraryWindow {
public:
    // `more` names further libraries of this build for the system directory
    // ("Rozu32", "Vod32"); the window is not ready without them either.
    explicit RealLibraryWindow(const QStringList& more = {});
    ~RealLibraryWindow();

    // False (with a reason) when the libraries are not built.
    bool ready() const { return m_reason.isEmpty(); }
    const QString& reason() const { return m_reason; }

    dozo::frmMain& window() { return *m_window; }
    ScriptedUiServices& ui() { return m_ui; }
    QString systemDir() const { return m_folders.systemDir(); }
    // A folder of its own for the test's files.
    QString scratch(const QString& name = {}) const;

    // Files with the given names and contents in a fresh scratch folder; their
    // paths.
    QStringList makeFiles(const QString& folder, const QList<QPair<QString, QByteArray>>& files);
    // Clicks the window's button `name`, which must be enabled.
    void click(const char* name);
    // On the archive tab, packs `paths` (dropped on the emptied list) into
    // `archive`, or unpacks `archive` into `folder`, with every dialog
    // answered; the message the run closed with.
    ScriptedUiServices::Call pack(const QStringList& paths, const QString& archive);
    ScriptedUiServices::Call unpack(const QString& archive, const QString& folder);

    // Writes the archiver's settings file: existing files kept or replaced.
    void setArchiverOverwrite(bool overwrite);

    // Delivers a drop of `paths` as text/uri-list to `target`.
    static void drop(QWidget* target, const QStringList& paths);

    static QByteArray readAll(const QString& path);
    static void writeAll(const QString& path, const QByteArray& bytes);
    // Runs `program` with `arguments`; its exit code, or -1 when it cannot
    // be started. Standard output and error go to `output`.
    static int runProgram(const QString& program, const QStringList& arguments,
                          const QByteArray& input = {}, QByteArray* output = nullptr);
    // lhasa's program, or empty when it is not installed.
    static QString lhasa();

private:
    ScriptedUiServices::Call lastCall() const;

    TestFolders m_folders;
    QTemporaryDir m_scratch;
    QTemporaryDir m_config;
    QByteArray m_previousConfigHome;
    bool m_hadConfigHome;
    ScriptedUiServices m_ui;
    std::unique_ptr<dozo::frmMain> m_window;
    QString m_reason;
};
