#pragma once

#include <build_tree.h>
#include <files.h>
#include <temp_dir.h>
#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <map>
#include <string>

// A path or text of the tests as the program's argument.
inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// dozo-cli where the build put it.
inline std::string builtCli() {
    return dozo::test::inBuildTree(DOZO_CLI_PATH);
}

// dozo-cli of this build run as a child process in its own session (so it
// has no terminal to ask on), with a clean locale and its own settings
// folder for the archiver.
struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// dozo-cli laid out as an installation of its own: a copy of the program in
// bin/ and, where the program looks from there (DOZO_BIN_TO_LIBDIR), links
// to the libraries given, by file name. It finds them from its own real path
// exactly as an installed one does; nothing outside the program points it
// anywhere.
class Installation {
public:
    explicit Installation(const std::map<std::string, std::string>& libraries = {});
    QString program() const { return q(m_root / "bin/dozo-cli"); }
    std::filesystem::path root() const { return m_root.path(); }
    std::filesystem::path libraryDir() const {
        return (m_root / "bin" / DOZO_BIN_TO_LIBDIR).lexically_normal();
    }

private:
    dozo::test::TempDir m_root;
};

struct CliOptions {
    QByteArray input{};                          // standard input
    QMap<QString, QString> env{};                // set on top of the base; an empty value unsets
    QString workingDirectory{};                  // empty: the test's own
    bool withoutLibraries = false;               // installed without any library
    const Installation* installation = nullptr;  // else the program of the build tree
};

CliResult runCli(const QStringList& args, const CliOptions& options = {});

// The environment those children get.
QProcessEnvironment cliEnvironment(const CliOptions& options);

// Runs any program the same way (the package made by dozo-cli, lhasa).
CliResult runProgram(const QString& program, const QStringList& args,
                     const CliOptions& options = {});

// What the libraries of this build, called directly, make of `content`.
dozo::test::Bytes directTransform(const char* exportName, const dozo::test::Bytes& content);
dozo::test::Bytes directKeyed(const QByteArray& key, const dozo::test::Bytes& content);
