#pragma once

#include <files.h>
#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

// dozo-cli of this build run as a child process in its own session (so it
// has no terminal to ask on), with a clean locale and its own settings
// folder for the archiver.
struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

struct CliOptions {
    QByteArray input{};             // standard input
    QMap<QString, QString> env{};   // set on top of the base; an empty value unsets
    QString workingDirectory{};     // empty: the test's own
    bool withoutLibraries = false;  // a system folder with no library in it
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

// A path or text of the tests as the program's argument.
inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}
