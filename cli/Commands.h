#pragma once

#include "cli/Report.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace dozo::cli {

enum Exit : int {
    kExitOk = 0,       // every path succeeded
    kExitFailed = 1,   // some path failed; the others were done
    kExitRefused = 2,  // usage error, refused key or password, missing library: nothing touched
};

// The words after the subcommand, split into options and operands. Options
// may come anywhere before "--"; "--name=value" and "--name value" both work.
class Arguments {
public:
    // `valued` lists the options that take a value.
    Arguments(const QStringList& words, const QStringList& valued);

    bool has(const QString& option) const { return m_flags.contains(option); }
    std::optional<QString> value(const QString& option) const;
    const QStringList& operands() const { return m_operands; }
    // Why the options cannot be used: one not in `known`, or one given last
    // without its value. Empty when they are fine.
    QString misuse(const QStringList& known) const;

private:
    QStringList m_flags;
    QList<QPair<QString, QString>> m_values;
    QStringList m_operands;
    QString m_missing;
};

int runTransform(const Arguments& args, Report& report);
int runKeyed(const Arguments& args, Report& report);
int runPack(const Arguments& args, Report& report);
int runUnpack(const Arguments& args, Report& report);
int runList(const Arguments& args, Report& report);
int runTest(const Arguments& args, Report& report);
int runPackage(const Arguments& args, Report& report);
int runVersions(const Arguments& args, Report& report);

// A usage error: the message and a pointer to --help.
int usageError(Report& report, const QString& text);
// A path made absolute and clean, as the archiver and the names rules want it.
QString absolutePath(const QString& path);

}  // namespace dozo::cli
