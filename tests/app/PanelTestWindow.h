#pragma once

#include "DirectLibrary.h"
#include "FileDrops.h"
#include "SampleBytes.h"
#include "ScriptedUiServices.h"
#include "TestFolders.h"

#include "app/window/frmMain.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// The real main window, shown offscreen, over the transform and keyed
// libraries this project builds, with scripted dialogs and a folder for the
// test's files.
class PanelTestWindow {
public:
    // Which libraries go into the system directory.
    struct Libraries {
        bool rozu32 = true;
        bool vod32 = true;
        // The stand-in archiver, enough for its presence flag.
        bool unlha32 = false;
    };

    PanelTestWindow() : PanelTestWindow(Libraries{}) {}
    explicit PanelTestWindow(Libraries libraries);

    // Empty when a wanted library is not part of the build.
    QString missingLibrary() const { return m_missing; }

    dozo::frmMain& window() { return *m_window; }
    ScriptedUiServices& ui() { return m_ui; }
    const TestFolders& folders() const { return m_folders; }

    void showTab(int index);
    // One enablement tick, as Tmr runs it.
    void tick();

    // A file of the test with the given content; its path.
    QString writeFile(const QString& name, const QByteArray& content);
    QString filePath(const QString& name) const;
    static QByteArray readFile(const QString& path);

    // Called with every message the window shows, before it is answered.
    void onMessage(std::function<void(const QString& text)> hook);

private:
    class HookedUi : public ScriptedUiServices {
    public:
        std::function<void(const QString&)> hook;
        Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                          Icon icon) override;
    };

    TestFolders m_folders;
    QTemporaryDir m_files;
    HookedUi m_ui;
    QString m_missing;
    std::unique_ptr<dozo::frmMain> m_window;
};
