// dozo-cli: every job of the window's four tabs from the command line,
// through the same libraries and the same rules.
#include "cli/Commands.h"
#include "cli/Report.h"
#include "core/text/Language.h"
#include "core/text/Reasons.h"
#include "core/text/ShownName.h"

#include "core/startup/AppInfo.h"

#include <QCoreApplication>
#include <QFile>

#include <sys/prctl.h>

#include <cstdio>

using namespace dozo;
using namespace dozo::cli;

namespace {

const char kHelpEn[] =
    "Usage:\n"
    "  dozo-cli transform [-r] METHOD PATH...\n"
    "  dozo-cli keyed [-r] [--key-stdin | --key-file F] PATH...\n"
    "  dozo-cli pack [-m lh5|lh6|lh7] [--level normal|max] ARCHIVE.lzh PATH...\n"
    "  dozo-cli unpack [--overwrite] ARCHIVE.lzh [DIR]\n"
    "  dozo-cli list ARCHIVE.lzh\n"
    "  dozo-cli test ARCHIVE.lzh\n"
    "  dozo-cli package [--password-stdin | --password-file F] [--lzh] [--overwrite]\n"
    "                   [--for windows|linux] TARGET [OUT.exe]\n"
    "  dozo-cli versions\n"
    "  dozo-cli --help | --version\n"
    "\n"
    "transform  rewrites each file in place with a Rozu32 method:\n"
    "           A C LC LCR LCB LCRB CLOL (or FileEncryptionA ... i_CLOL).\n"
    "keyed      rewrites each file in place with the Vod32 keyed stream; the\n"
    "           key is asked twice on the terminal unless given by an option.\n"
    "pack       adds files and folders to an LHA archive (updating it); --level\n"
    "           max packs smaller and several times slower than normal.\n"
    "unpack     extracts into DIR, or into a new folder named after the archive;\n"
    "           existing files are kept unless --overwrite.\n"
    "list       prints each entry: size, packed size, method, date, name.\n"
    "test       checks every entry's CRC.\n"
    "package    makes a password-protected executable (OUT defaults to TARGET\n"
    "           with its last four characters replaced by .exe) that opens on the\n"
    "           recipient's system: Windows unless --for linux; --lzh packs it\n"
    "           into an archive. An existing OUT is kept unless --overwrite.\n"
    "versions   prints each library found, its path and version.\n"
    "\n"
    "  -r       walk folders (regular files only; symbolic links are skipped)\n"
    "  -q       print nothing but errors\n"
    "  -v       name each file as it is done (transform, keyed)\n"
    "Short options combine (-rq); -- ends the options, so a file named like one\n"
    "can follow.\n"
    "Secrets from --*-stdin or --*-file: the first line, without its newline.\n"
    "Exit status: 0 all done, 1 some path failed, 2 usage error, refused key or\n"
    "password, or missing library (nothing touched).\n";

const char kHelpJa[] =
    "使い方:\n"
    "  dozo-cli transform [-r] 方式 パス...\n"
    "  dozo-cli keyed [-r] [--key-stdin | --key-file F] パス...\n"
    "  dozo-cli pack [-m lh5|lh6|lh7] [--level normal|max] 書庫.lzh パス...\n"
    "  dozo-cli unpack [--overwrite] 書庫.lzh [フォルダー]\n"
    "  dozo-cli list 書庫.lzh\n"
    "  dozo-cli test 書庫.lzh\n"
    "  dozo-cli package [--password-stdin | --password-file F] [--lzh] [--overwrite]\n"
    "                   [--for windows|linux] ファイル [出力.exe]\n"
    "  dozo-cli versions\n"
    "  dozo-cli --help | --version\n"
    "\n"
    "transform  Rozu32 の方式で各ファイルをその場で変換します:\n"
    "           A C LC LCR LCB LCRB CLOL（FileEncryptionA … i_CLOL も可）。\n"
    "keyed      Vod32 の鍵付きストリームで各ファイルをその場で変換します。\n"
    "           オプションで指定しないときは端末で2回キーを尋ねます。\n"
    "pack       ファイルとフォルダーを LHA 書庫に格納します（既存の書庫は更新）。\n"
    "           --level max は normal（標準）より小さく、数倍時間をかけて圧縮します。\n"
    "unpack     フォルダーに、または書庫名の新しいフォルダーに展開します。\n"
    "           --overwrite がなければ既存のファイルは残します。\n"
    "list       各エントリーのサイズ、圧縮後のサイズ、方式、日時、名前を表示します。\n"
    "test       全エントリーの CRC を検査します。\n"
    "package    受取人のシステムで開くパスワード付きの実行ファイルを作ります\n"
    "           （既定は Windows、--for linux で Linux。出力の既定はファイル名の\n"
    "           末尾4文字を .exe にしたもの）。--lzh で書庫に格納します。\n"
    "           --overwrite がなければ既存の出力ファイルは残します。\n"
    "versions   見つかったライブラリのパスとバージョンを表示します。\n"
    "\n"
    "  -r       フォルダーの中を処理します（通常のファイルのみ。シンボリックリンクは飛ばします）\n"
    "  -q       エラー以外は表示しません\n"
    "  -v       処理し終えたファイルの名前を表示します（transform、keyed）\n"
    "短いオプションはまとめて書けます（-rq）。-- の後はオプションとみなしません。\n"
    "--*-stdin、--*-file で渡す秘密は最初の行（改行を除く）です。\n"
    "終了ステータス: 0 すべて成功、1 失敗したパスあり、2 使い方の誤り・キーや\n"
    "パスワードの拒否・ライブラリなし（何も変更していません）。\n";

void print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

// "-rq" is "-r -q", as every program on the system takes it; "-mlh7" is
// "-m lh7". Words after "--" are left alone.
QStringList splitShortOptions(const QStringList& words) {
    QStringList split;
    bool optionsEnded = false;
    for (const QString& word : words) {
        if (word == QLatin1String("--")) optionsEnded = true;
        if (optionsEnded || word.size() <= 2 || word[0] != QLatin1Char('-') ||
            word[1] == QLatin1Char('-')) {
            split.append(word);
            continue;
        }
        for (qsizetype i = 1; i < word.size(); ++i) {
            split.append(QStringLiteral("-") + word[i]);
            if (word[i] == QLatin1Char('m')) {
                if (i + 1 < word.size()) split.append(word.mid(i + 1));
                break;
            }
        }
    }
    return split;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before any key or password is read: no core dump of this process, and
    // no other process of the user may read its memory.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // No QCoreApplication: nothing here needs an event loop, and making one is
    // a good part of the start-up cost, which a run on one file pays in full.
    // The window's name: both share one per-user cache folder for work files.
    QCoreApplication::setApplicationName(QStringLiteral("dozo"));

    // A name is whatever bytes it has, and a QString keeps only what decodes:
    // a word that does not come back as its own bytes would name another file
    // (its stray bytes turned into U+FFFD), so it is refused before anything
    // is touched.
    QStringList words;
    const char* undecodable = nullptr;
    for (int i = 1; i < argc; ++i) {
        const QString word = QFile::decodeName(argv[i]);
        if (!undecodable && QFile::encodeName(word) != QByteArrayView(argv[i]))
            undecodable = argv[i];
        words.append(word);
    }
    words = splitShortOptions(words);
    bool quiet = false;
    bool verbose = false;
    QString command;
    QStringList rest;
    bool optionsEnded = false;
    for (const QString& word : words) {
        if (!optionsEnded && (word == QLatin1String("-q") || word == QLatin1String("--quiet"))) {
            quiet = true;
        } else if (!optionsEnded &&
                   (word == QLatin1String("-v") || word == QLatin1String("--verbose"))) {
            verbose = true;
        } else if (command.isEmpty() && !optionsEnded &&
                   (word == QLatin1String("--help") || word == QLatin1String("-h"))) {
            command = QStringLiteral("--help");
        } else if (command.isEmpty()) {
            command = word;
        } else if (!optionsEnded &&
                   (word == QLatin1String("--help") || word == QLatin1String("-h"))) {
            // "dozo-cli pack --help" asks for help, not for a usage error.
            command = QStringLiteral("--help");
        } else {
            if (word == QLatin1String("--")) optionsEnded = true;
            rest.append(word);
        }
    }

    Report report(quiet, verbose);
    if (command == QLatin1String("--help")) {
        print(QString::fromUtf8(japanese() ? kHelpJa : kHelpEn));
        return kExitOk;
    }
    if (command == QLatin1String("--version")) {
        print(QStringLiteral("dozo-cli %1.%2.%3\n")
                  .arg(dozo::kVersionMajor)
                  .arg(dozo::kVersionMinor, 2, 10, QLatin1Char('0'))
                  .arg(dozo::kVersionRevision));
        return kExitOk;
    }
    if (undecodable) {
        return usageError(report, shownName(QByteArray(undecodable)) + QStringLiteral(": ") +
                                      Reasons::nameNotUtf8());
    }
    const QStringList valued = {QStringLiteral("--key-file"), QStringLiteral("--password-file"),
                                QStringLiteral("-m"), QStringLiteral("--for"),
                                QStringLiteral("--level")};
    const Arguments args(rest, valued);
    using Run = int (*)(const Arguments&, Report&);
    const struct {
        const char* name;
        Run run;
    } commands[] = {
        {"transform", runTransform}, {"keyed", runKeyed},       {"pack", runPack},
        {"unpack", runUnpack},       {"list", runList},         {"test", runTest},
        {"package", runPackage},     {"versions", runVersions},
    };
    for (const auto& entry : commands) {
        if (command == QLatin1String(entry.name)) return entry.run(args, report);
    }
    if (command.isEmpty())
        return usageError(report, say("コマンドを指定してください。", "no command given"));
    return usageError(report, say("不明なコマンド: %1", "unknown command: %1").arg(command));
}
