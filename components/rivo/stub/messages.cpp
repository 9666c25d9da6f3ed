#include "messages.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace dozo::rivo {
namespace {

constexpr int kCount = static_cast<int>(Msg::count_);

constexpr const char* kEnglish[kCount] = {
    // help
    "Usage: %s [options]\n"
    "Restores the file protected inside this package, next to the package.\n"
    "\n"
    "  -o, --output DIR        restore into DIR instead\n"
    "  -f, --force             replace an existing file of the same name\n"
    "  -t, --test              check the package and the password, write nothing\n"
    "      --info              show format and sizes (no password needed)\n"
    "      --password-stdin    read the password from the first line of standard input\n"
    "      --password-file F   read the password from the first line of file F\n"
    "      --version           show the version\n"
    "  -h, --help              show this help\n"
    "\n"
    "Exit codes: 0 done, 1 wrong password, 2 usage, 3 damaged or not a package,\n"
    "4 output exists, 5 read/write error, 6 no password entered.\n",
    // version
    "Dozo package %s (format %u)\n",
    // prompt
    "Password for %s: ",
    // dialogTitle
    "Dozo package",
    // dialogText
    "Password for %s",
    // noTerminal
    "%s is a password-protected package.\n"
    "Open a terminal and run it there:\n"
    "  %s\n"
    "or give the password with --password-stdin or --password-file FILE.\n",
    // cancelled
    "No password entered.\n",
    // wrongPassword
    "Wrong password.\n",
    // damaged
    "The package is damaged or incomplete; nothing was written.\n",
    // notPackage
    "%s holds no package.\n",
    // unsupported
    "This package uses a format this program does not know.\n",
    // costTooHigh
    "The package asks for a key-derivation cost beyond the accepted bounds; refused.\n",
    // exists
    "%s already exists; use -f to replace it.\n",
    // readFailed
    "Cannot read the package %s: %s\n",
    // writeFailed
    "Cannot write %s: %s\n",
    // outputDir
    "Cannot use the folder %s: %s\n",
    // passwordFile
    "Cannot read the password file %s: %s\n",
    // noMemory
    "Not enough memory to derive the key.\n",
    // restored
    "Restored %s\n",
    // verified
    "The package is intact and the password is right (%s, %llu bytes).\n",
    // badOption
    "Unknown option or argument: %s (see --help)\n",
    // missingValue
    "Option %s needs a value (see --help)\n",
    // conflict
    "Give at most one of --password-stdin and --password-file.\n",
    // info
    "Format version:   %u\n"
    "Package size:     %llu bytes\n"
    "Program size:     %llu bytes\n"
    "Payload size:     %llu bytes\n"
    "Content size:     %llu bytes\n"
    "Key derivation:   Argon2id, %u passes, %u KiB\n",
};

constexpr const char* kJapanese[kCount] = {
    // help
    "使い方: %s [オプション]\n"
    "このパッケージに保護されたファイルを、パッケージと同じフォルダーに復元します。\n"
    "\n"
    "  -o, --output DIR        DIR に復元する\n"
    "  -f, --force             同名の既存ファイルを置き換える\n"
    "  -t, --test              パッケージとパスワードを検査し、何も書き込まない\n"
    "      --info              形式とサイズを表示する (パスワード不要)\n"
    "      --password-stdin    標準入力の最初の行をパスワードとして読む\n"
    "      --password-file F   ファイル F の最初の行をパスワードとして読む\n"
    "      --version           バージョンを表示する\n"
    "  -h, --help              このヘルプを表示する\n"
    "\n"
    "終了コード: 0 完了、1 パスワード誤り、2 使い方の誤り、3 破損またはパッケージでない、\n"
    "4 出力先が既に存在、5 読み書きエラー、6 パスワード未入力。\n",
    // version
    "Dozo パッケージ %s (形式 %u)\n",
    // prompt
    "%s のパスワード: ",
    // dialogTitle
    "Dozo パッケージ",
    // dialogText
    "%s のパスワード",
    // noTerminal
    "%s はパスワードで保護されたパッケージです。\n"
    "端末を開いて、次のように実行してください:\n"
    "  %s\n"
    "または --password-stdin か --password-file FILE でパスワードを渡してください。\n",
    // cancelled
    "パスワードが入力されませんでした。\n",
    // wrongPassword
    "パスワードが違います。\n",
    // damaged
    "パッケージが壊れているか不完全です。何も書き込んでいません。\n",
    // notPackage
    "%s にはパッケージが含まれていません。\n",
    // unsupported
    "このパッケージの形式には対応していません。\n",
    // costTooHigh
    "パッケージの鍵導出コストが上限を超えているため、処理を拒否しました。\n",
    // exists
    "%s は既に存在します。置き換えるには -f を指定してください。\n",
    // readFailed
    "パッケージ %s を読み込めません: %s\n",
    // writeFailed
    "%s に書き込めません: %s\n",
    // outputDir
    "フォルダー %s を使えません: %s\n",
    // passwordFile
    "パスワードファイル %s を読み込めません: %s\n",
    // noMemory
    "鍵の導出に必要なメモリが足りません。\n",
    // restored
    "%s を復元しました。\n",
    // verified
    "パッケージは正常で、パスワードも正しいです (%s、%llu バイト)。\n",
    // badOption
    "不明なオプションまたは引数: %s (--help を参照)\n",
    // missingValue
    "オプション %s には値が必要です (--help を参照)\n",
    // conflict
    "--password-stdin と --password-file は同時に指定できません。\n",
    // info
    "形式バージョン:   %u\n"
    "パッケージサイズ: %llu バイト\n"
    "プログラムサイズ: %llu バイト\n"
    "ペイロードサイズ: %llu バイト\n"
    "内容のサイズ:     %llu バイト\n"
    "鍵導出:           Argon2id、%u パス、%u KiB\n",
};

bool decideJapanese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

}  // namespace

bool japanese() {
    static const bool ja = decideJapanese();
    return ja;
}

const char* text(Msg id) {
    const int i = static_cast<int>(id);
    return (japanese() ? kJapanese : kEnglish)[i];
}

}  // namespace dozo::rivo
