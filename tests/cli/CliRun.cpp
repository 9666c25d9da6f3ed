#include "CliRun.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>
#include <loaded_library.h>
#include <temp_dir.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

QProcessEnvironment cliEnvironment(const CliOptions& options) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    // The archiver's settings of whoever runs the tests must not choose the
    // method or the overwrite rule.
    static QTemporaryDir config;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    for (auto it = options.env.cbegin(); it != options.env.cend(); ++it) {
        if (it.value().isEmpty()) {
            env.remove(it.key());
        } else {
            env.insert(it.key(), it.value());
        }
    }
    return env;
}

CliResult runProgram(const QString& program, const QStringList& args, const CliOptions& options) {
    QProcess process;
    const QProcessEnvironment env = cliEnvironment(options);
    process.setProcessEnvironment(env);
    if (!options.workingDirectory.isEmpty()) process.setWorkingDirectory(options.workingDirectory);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, args);
    CliResult result;
    if (!process.waitForStarted()) return result;
    process.write(options.input);
    process.closeWriteChannel();
    // Generous: only there so a hung child fails its test instead of the suite.
    if (!process.waitForFinished(300'000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit) result.exitCode = process.exitCode();
    return result;
}

Installation::Installation(const std::map<std::string, std::string>& libraries) {
    namespace fs = std::filesystem;
    fs::create_directories(m_root / "bin");
    // A copy, not a link: the program's folder is where its real file lies.
    fs::copy_file(builtCli(), m_root / "bin/dozo-cli");
    fs::create_directories(libraryDir());
    for (const auto& [name, built] : libraries) fs::create_symlink(built, libraryDir() / name);
}

CliResult runCli(const QStringList& args, const CliOptions& options) {
    static const Installation withoutLibraries;
    const Installation* installation =
        options.withoutLibraries ? &withoutLibraries : options.installation;
    return runProgram(installation ? installation->program() : q(builtCli()), args, options);
}

namespace {

dozo::test::Bytes direct(const std::function<int(const char*, const char*)>& call,
                         const dozo::test::Bytes& content) {
    dozo::test::TempDir scratch;
    const std::string file = scratch / "file";
    dozo::test::writeFile(file, content);
    EXPECT_EQ(call(file.c_str(), (scratch / "work").c_str()), 0);
    return dozo::test::readFile(file);
}

}  // namespace

dozo::test::Bytes directTransform(const char* exportName, const dozo::test::Bytes& content) {
    dozo::test::Library rozu32("libRozu32.so");
    auto* fn = rozu32.get<FileEncryptionFn>(exportName);
    return direct([fn](const char* f, const char* w) { return fn(nullptr, f, f, w); }, content);
}

dozo::test::Bytes directKeyed(const QByteArray& key, const dozo::test::Bytes& content) {
    dozo::test::Library vod32("libVod32.so");
    auto* fn = vod32.get<VovBCMKCFn>("VovBCMKC");
    return direct(
        [&](const char* f, const char* w) { return fn(nullptr, f, f, w, key.constData()); },
        content);
}
