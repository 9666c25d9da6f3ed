#include "app/window/CommandLine.h"

#include "core/startup/AppInfo.h"
#include "core/text/Language.h"

#include <cstring>

namespace dozo {

namespace {

QString usage() {
    return say(
        "使い方: dozo [ファイル]\n"
        "        dozo [--] ファイル\n"
        "        dozo --help | --version\n"
        "\n"
        "Vuvurazir のウィンドウを開きます。最後の引数は「RIVO暗号化」タブの\n"
        "暗号化するファイルになります。「-」で始まる名前のファイルは -- の後に\n"
        "書きます。詳しくは man dozo を参照してください。\n",
        "Usage: dozo [FILE]\n"
        "       dozo [--] FILE\n"
        "       dozo --help | --version\n"
        "\n"
        "Opens the Vuvurazir window. The last argument becomes the file to\n"
        "encrypt on the RIVO暗号化 tab; give a file whose name starts with '-'\n"
        "after --. See man dozo.\n");
}

}  // namespace

CommandLine CommandLine::parse(const QStringList& arguments, bool qtOptionsLeft) {
    CommandLine line;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (optionsEnded || argument == QLatin1String("-") ||
            !argument.startsWith(QLatin1Char('-'))) {
            line.files.append(argument);
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return {Action::Help, {}, usage()};
        } else if (argument == QLatin1String("--version")) {
            return {Action::Version,
                    {},
                    QStringLiteral("dozo %1.%2.%3\n")
                        .arg(kVersionMajor)
                        .arg(kVersionMinor, 2, 10, QLatin1Char('0'))
                        .arg(kVersionRevision)};
        } else if (!qtOptionsLeft) {
            return {Action::Refused,
                    {},
                    say("dozo: 不明なオプション '%1' (dozo --help を参照)\n",
                        "dozo: unknown option '%1' (see dozo --help)\n")
                        .arg(argument)};
        }
    }
    return line;
}

int CommandLine::qtArgumentCount(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return i;
    }
    return argc;
}

}  // namespace dozo
