#include "TestFolders.h"
#include "build_tree.h"
#include "core/libraries/Library.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

TestFolders::TestFolders() {
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("bin"));
    root.mkpath(QStringLiteral("system"));
}

QString TestFolders::applicationDir() const {
    return m_root.filePath(QStringLiteral("bin"));
}

QString TestFolders::systemDir() const {
    return m_root.filePath(QStringLiteral("system"));
}

void TestFolders::install(const QString& name, Variant variant, Place place) {
    const QString fileName = dozo::Library::fileNameFor(name);
    const QString target =
        QDir(place == Place::System ? systemDir() : applicationDir()).filePath(fileName);
    QFile::remove(target);
    if (variant == Variant::NotElf) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("This is not a shared library.\n");
        return;
    }
    const char* folder = variant == Variant::Good       ? "good"
                         : variant == Variant::NoExport ? "noexport"
                                                        : "unresolved";
    const QString source = QDir(QString::fromStdString(dozo::test::inBuildTree(DOZO_TEST_LIBS)))
                               .filePath(QLatin1String(folder) + "/" + fileName);
    ASSERT_TRUE(QFile::exists(source)) << source.toStdString();
    ASSERT_TRUE(QFile::copy(source, target)) << target.toStdString();
}

dozo::StartUpOptions TestFolders::options(const QStringList& arguments) const {
    dozo::StartUpOptions options;
    options.arguments = arguments;
    options.applicationDir = applicationDir();
    options.systemDir = systemDir();
    // Each test's own work folder: tests run side by side.
    options.workDir = applicationDir();
    return options;
}

dozo::AppDirectories TestFolders::dirs() const {
    return dozo::AppDirectories::resolve(applicationDir(), systemDir());
}

QString TestFolders::builtLibrary(const QString& name, const QString& folder) {
    const QString path =
        QDir(QString::fromStdString(dozo::test::buildTree()))
            .filePath(folder + QLatin1Char('/') + dozo::Library::fileNameFor(name));
    return QFile::exists(path) ? path : QString();
}
