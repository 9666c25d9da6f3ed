#include "PanelTestWindow.h"

#include "app/timer/EnablementTick.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QTest>

#include "RealLibraryWindow.h"

PanelTestWindow::PanelTestWindow(Libraries libraries) {
    const auto place = [this](const char* name) {
        const QString built = TestFolders::builtLibrary(QLatin1String(name));
        if (built.isEmpty()) {
            m_missing = QLatin1String(name);
            return;
        }
        QFile::copy(built, QDir(m_folders.systemDir()).filePath(QFileInfo(built).fileName()));
    };
    if (libraries.rozu32) place("Rozu32");
    if (libraries.vod32) place("Vod32");
    if (libraries.unlha32) {
        m_folders.install(QStringLiteral("unlha32"), TestFolders::Variant::Good,
                          TestFolders::Place::System);
    }
    m_window = std::make_unique<dozo::frmMain>(m_folders.options(), &m_ui);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
}

void PanelTestWindow::showTab(int index) {
    m_window->SSTab1()->setCurrentIndex(index);
    QApplication::processEvents();
}

void PanelTestWindow::tick() {
    auto* ticker = m_window->findChild<dozo::EnablementTick*>();
    ASSERT_NE(ticker, nullptr);
    ticker->tick();
}

QString PanelTestWindow::filePath(const QString& name) const {
    return m_files.filePath(name);
}

QString PanelTestWindow::writeFile(const QString& name, const QByteArray& content) {
    const QString path = filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    return path;
}

QByteArray PanelTestWindow::readFile(const QString& path) {
    return RealLibraryWindow::readAll(path);
}

void PanelTestWindow::onMessage(std::function<void(const QString&)> hook) {
    m_ui.hook = std::move(hook);
}

ScriptedUiServices::Answer PanelTestWindow::HookedUi::messageBox(const QString& text,
                                                                 const QString& title,
                                                                 Buttons buttons, Icon icon) {
    if (hook) hook(text);
    return ScriptedUiServices::messageBox(text, title, buttons, icon);
}
