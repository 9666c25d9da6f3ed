#include "CliRun.h"

#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

QProcessEnvironment cliEnvironment(const CliOptions& options) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "DISPLAY",
                             "WAYLAND_DISPLAY", "DOZO_SYSTEM_DIR"})
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

CliResult runCli(const QStringList& args, const CliOptions& options) {
    return runProgram(QStringLiteral(DOZO_CLI_PATH), args, options);
}
