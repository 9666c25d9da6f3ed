#include "TestFolders.h"

#include "core/libraries/Library.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

TestFolders::TestFolders()
    : m_previousSystemDir(qgetenv("DOZO_SYSTEM_DIR")),
      m_hadSystemDir(qEnvironmentVariableIsSet("DOZO_SYSTEM_DIR")) {
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("bin"));
    root.mkpath(QStringLiteral("system"));
    qputenv("DOZO_SYSTEM_DIR", QFile::encodeName(systemDir()));
}

TestFolders::~TestFolders() {
    if (m_hadSystemDir) {
        qputenv("DOZO_SYSTEM_DIR", m_previousSystemDir);
    } else {
        qunsetenv("DOZO_SYSTEM_DIR");
    }
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
    const QString source =
        QDir(QStringLiteral(DOZO_TEST_LIBS)).filePath(QLatin1String(folder) + "/" + fileName);
    ASSERT_TRUE(QFile::exists(source)) << source.toStdString();
    ASSERT_TRUE(QFile::copy(source, target)) << target.toStdString();
}

dozo::StartUpOptions TestFolders::options(const QStringList& arguments) const {
    dozo::StartUpOptions options;
    options.arguments = arguments;
    options.applicationDir = applicationDir();
    return options;
}

QString TestFolders::builtLibrary(const QString& name, const QString& folder) {
    QString buildDir = qEnvironmentVariable("DOZO_BUILD_DIR");
    if (buildDir.isEmpty()) buildDir = QStringLiteral(DOZO_BINARY_DIR);
    const QString path =
        QDir(buildDir).filePath(folder + QLatin1Char('/') + dozo::Library::fileNameFor(name));
    return QFile::exists(path) ? path : QString();
}
