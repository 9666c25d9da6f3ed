// Helper programs from PATH (the system monitor, the document opener): the
// first name in the order of preference, an executable file, and never one
// from the current folder.
#include "app/dialogs/SysInfo.h"
#include "app/shell/HelperProgram.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using dozo::findHelperProgram;

class HelperProgram : public testing::Test {
protected:
    QString folder(const QString& name) {
        const QString path = m_root.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }
    static void program(const QString& path, bool executable = true) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable) permissions |= QFile::ExeOwner;
        ASSERT_TRUE(file.setPermissions(permissions));
    }

    QTemporaryDir m_root;
};

TEST_F(HelperProgram, TakesTheEarliestNameThatIsAnExecutableFile) {
    const QString a = folder("a");
    const QString b = folder("b");
    const QStringList names = dozo::systemInfoPrograms();
    program(a + "/xfce4-taskmanager");
    program(b + "/kinfocenter");
    // The list decides, not the order of the folders.
    EXPECT_EQ(findHelperProgram(names, a + ":" + b).toStdString(),
              (b + "/kinfocenter").toStdString());
    // Earlier names that are not executable files are passed over.
    program(a + "/hardinfo", false);
    ASSERT_TRUE(QDir().mkpath(a + "/hardinfo2"));
    EXPECT_EQ(findHelperProgram(names, a + ":" + b).toStdString(),
              (b + "/kinfocenter").toStdString());
    EXPECT_TRUE(findHelperProgram(names, folder("empty")).isEmpty());
}

TEST_F(HelperProgram, NeverSearchesTheCurrentFolder) {
    const QString here = folder("here");
    program(here + "/gnome-system-monitor");
    program(here + "/xdg-open");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(here));
    for (const char* path : {":.::bin", "", ".", "./", "bin:"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(findHelperProgram(dozo::systemInfoPrograms(), path).isEmpty());
        EXPECT_TRUE(findHelperProgram({"xdg-open"}, path).isEmpty());
    }
    QDir::setCurrent(previous);
}

}  // namespace
