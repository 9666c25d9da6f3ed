// Helper programs are found in absolute PATH folders only.
#include "core/startup/Programs.h"

#include <files.h>
#include <temp_dir.h>

#include <gtest/gtest.h>
#include <QDir>

namespace {

using dozo::test::TempDir;
using dozo::test::writeFile;

TEST(AppPrograms, OnlyAbsolutePathFoldersAreSearched) {
    TempDir root;
    for (const char* folder : {"here", "first", "second"})
        std::filesystem::create_directory(root / folder);
    writeFile(root / "here/tool", {'#', '!'}, 0755);
    writeFile(root / "first/tool", {'#', '!'}, 0644);  // not executable
    writeFile(root / "second/tool", {'#', '!'}, 0755);
    std::filesystem::create_directory(root / "first/dir");
    const QString first = QString::fromStdString(root / "first");
    const QString second = QString::fromStdString(root / "second");
    const QString found = second + QStringLiteral("/tool");

    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(root / "here")));
    const struct {
        const char* name;
        QString path;
        QString expected;
    } cases[] = {
        {"tool", QStringLiteral(":"), {}},
        {"tool", QStringLiteral("."), {}},
        {"tool", QStringLiteral("../here:here"), {}},
        {"tool", QStringLiteral("::") + first, {}},
        {"tool", first + QStringLiteral("::") + second, found},
        {"tool", QStringLiteral(".:") + second, found},
        {"dir", first, {}},
        {"./tool", second, {}},
        {"", second, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (" in " + c.path.toStdString()));
        EXPECT_EQ(dozo::findProgram(QString::fromLatin1(c.name), c.path), c.expected);
    }
    QDir::setCurrent(before);
}

}  // namespace
