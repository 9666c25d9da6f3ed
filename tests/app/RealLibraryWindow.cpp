#include "RealLibraryWindow.h"

#include "Controls.h"
#include "FileDrops.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <utility>

RealLibraryWindow::RealLibraryWindow(const QStringList& more)
    : m_previousConfigHome(qgetenv("XDG_CONFIG_HOME")),
      m_hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    // The user's own archiver settings must not decide what a test sees.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    // The package library is the test build: packages with the cheapest key
    // derivation a package accepts.
    QList<std::pair<QString, QString>> libraries = {
        {QStringLiteral("unlha32"), QStringLiteral(DOZO_LIBRARY_SUBDIR)},
        {QStringLiteral("rivo"), QStringLiteral("tests/lib")}};
    for (const QString& name : more) libraries.append({name, QStringLiteral(DOZO_LIBRARY_SUBDIR)});
    for (const auto& [name, folder] : libraries) {
        const QString built = TestFolders::builtLibrary(name, folder);
        if (built.isEmpty()) {
            m_reason = QStringLiteral("lib%1.so is not built").arg(name);
            return;
        }
        const QString target = m_folders.systemDir() + "/" + QFileInfo(built).fileName();
        if (!QFile::copy(built, target)) {
            m_reason = QStringLiteral("cannot copy ") + built;
            return;
        }
    }
    m_window = std::make_unique<dozo::frmMain>(m_folders.options(), &m_ui);
    m_window->show();
}

RealLibraryWindow::~RealLibraryWindow() {
    m_window.reset();
    if (m_hadConfigHome) {
        qputenv("XDG_CONFIG_HOME", m_previousConfigHome);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

QString RealLibraryWindow::scratch(const QString& name) const {
    return name.isEmpty() ? m_scratch.path() : m_scratch.filePath(name);
}

QStringList RealLibraryWindow::makeFiles(const QString& folder,
                                         const QList<QPair<QString, QByteArray>>& files) {
    QDir().mkpath(scratch(folder));
    QStringList paths;
    for (const auto& [name, bytes] : files) {
        paths.append(scratch(folder + "/" + name));
        writeAll(paths.last(), bytes);
    }
    return paths;
}

void RealLibraryWindow::click(const char* name) {
    auto* button = control<QPushButton>(*m_window, QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

ScriptedUiServices::Call RealLibraryWindow::pack(const QStringList& paths, const QString& archive) {
    auto* list = control<QListWidget>(*m_window, QStringLiteral("FL"));
    if (!list) return {};
    list->clear();
    drop(list, paths);
    m_ui.answerSaveFile(archive);
    // An existing archive is added to once the question is answered.
    if (QFileInfo(archive).isFile()) m_ui.answerMessage(ScriptedUiServices::Answer::Yes);
    m_ui.answerMessage(ScriptedUiServices::Answer::Ok);
    click("cmdCompress");
    return lastCall();
}

ScriptedUiServices::Call RealLibraryWindow::unpack(const QString& archive, const QString& folder) {
    m_ui.answerOpenFile(archive);
    m_ui.answerFolder(folder);
    m_ui.answerMessage(ScriptedUiServices::Answer::Ok);
    click("cmdDevelop");
    return lastCall();
}

ScriptedUiServices::Call RealLibraryWindow::lastCall() const {
    return m_ui.calls().empty() ? ScriptedUiServices::Call{} : m_ui.calls().back();
}

void RealLibraryWindow::setArchiverOverwrite(bool overwrite) {
    QDir(m_config.path()).mkpath(QStringLiteral("dozo"));
    writeAll(m_config.filePath(QStringLiteral("dozo/unlha32.conf")),
             QByteArray("method=lh5\noverwrite=") + (overwrite ? "true" : "false") + "\n");
}

void RealLibraryWindow::drop(QWidget* target, const QStringList& paths) {
    const auto data = FileDrops::fileList(paths);
    ASSERT_EQ(FileDrops::dragOver(target, data.get()), Qt::CopyAction) << "the drag was refused";
    FileDrops::drop(target, data.get());
}

QByteArray RealLibraryWindow::readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

void RealLibraryWindow::writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

int RealLibraryWindow::runProgram(const QString& program, const QStringList& arguments,
                                  const QByteArray& input, QByteArray* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted()) return -1;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (output) *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString RealLibraryWindow::lhasa() {
    return QStandardPaths::findExecutable(QStringLiteral("lhasa"));
}
