#pragma once

#include "core/startup/StartUp.h"

#include <QString>
#include <QTemporaryDir>

// A throw-away application directory and system directory for one test.
// options() points the window at both; dirs() gives the same to the core.
class TestFolders {
public:
    enum class Variant {
        Good,        // answers its version (from DOZO_FAKE_*_VERSION)
        NoExport,    // loads, but lacks the version query
        Unresolved,  // needs a symbol nothing provides
        NotElf,      // a text file with the library's name
    };
    enum class Place { System, Application };

    TestFolders();

    QString applicationDir() const;
    QString systemDir() const;

    // Puts a library named like the real one ("Rozu32" -> libRozu32.so).
    void install(const QString& name, Variant variant, Place place);

    dozo::StartUpOptions options(const QStringList& arguments = {}) const;
    dozo::AppDirectories dirs() const;

    // The library built by this project, or empty when it is not built.
    // folder is relative to the build tree (by default where the shipped
    // libraries are built); tests/lib holds the test builds.
    static QString builtLibrary(const QString& name,
                                const QString& folder = QStringLiteral(DOZO_LIBRARY_SUBDIR));

private:
    QTemporaryDir m_root;
};
