#include "messages.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "dozo/fileio/printable.h"

namespace dozo::rivo {

RIVO_EARLY_DATA extern const char kJapaneseDamaged[] =
    "パッケージが壊れているか不完全です。何も書き込んでいません。\n";
RIVO_EARLY_DATA extern const char kJapaneseDialogTitle[] = "Dozo パッケージ";

const Translation kJapanese[] = {
    {Msg::help,
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
     "      --licenses          組み込まれたライブラリのライセンスを表示する\n"
     "  -h, --help              このヘルプを表示する\n"
     "\n"
     "終了コード: 0 完了、1 パスワード誤り、2 使い方の誤り、3 破損またはパッケージでない、\n"
     "4 出力先が既に存在、5 読み書きエラー、6 パスワード未入力。\n"},
    {Msg::version, "Dozo パッケージ %s (形式 %u)\n"},
    {Msg::prompt, "%s のパスワード: "},
    {Msg::dialogTitle, kJapaneseDialogTitle},
    {Msg::dialogText,
     "このパッケージに保護されたファイルを復元するパスワードを入力してください。\n"
     "\n"
     "パッケージ: %s\n"
     "フォルダー: %s"},
    {Msg::noDialog, "ダイアログを表示できません: ディスプレイ %s に接続できません。\n"},
    {Msg::noTerminal,
     "%s はパスワードで保護されたパッケージです。\n"
     "端末を開いて、次のように実行してください:\n"
     "  %s\n"
     "または --password-stdin か --password-file FILE でパスワードを渡してください。\n"},
    {Msg::cancelled, "パスワードが入力されませんでした。\n"},
    {Msg::wrongPassword, "パスワードが違います。\n"},
    {Msg::passwordTooLong,
     "パスワードが %d バイトを超えています。そのようなパッケージはないため、拒否しました。\n"},
    {Msg::damaged, kJapaneseDamaged},
    {Msg::notPackage, "%s にはパッケージが含まれていません。\n"},
    {Msg::extraData, "%s は壊れているか、末尾に余分なデータがあります。何も書き込んでいません。\n"},
    {Msg::unsupported, "このパッケージの形式には対応していません。\n"},
    {Msg::costTooHigh, "パッケージの鍵導出コストが上限を超えているため、処理を拒否しました。\n"},
    {Msg::exists, "%s は既に存在します。置き換えるには -f を指定してください。\n"},
    {Msg::askReplace, "%s は既に存在します。\n置き換えますか?"},
    {Msg::keptExisting, "%s は既に存在するため、そのままにしました。何も書き込んでいません。\n"},
    {Msg::renamed, "保存されている名前 %s はここでは使えないため、%s として復元します。\n"},
    {Msg::readFailed, "パッケージ %s を読み込めません: %s\n"},
    {Msg::writeFailed, "%s に書き込めません: %s\n"},
    {Msg::outputDir, "フォルダー %s を使えません: %s\n"},
    {Msg::passwordFile, "パスワードファイル %s を読み込めません: %s\n"},
    {Msg::noMemory, "鍵の導出に必要なメモリが足りません。\n"},
    {Msg::restored, "%s を復元しました。\n"},
    {Msg::verified, "パッケージは正常で、パスワードも正しいです (%s、%llu バイト)。\n"},
    {Msg::badOption, "不明なオプションまたは引数: %s (--help を参照)\n"},
    {Msg::missingValue, "オプション %s には値が必要です (--help を参照)\n"},
    {Msg::conflict, "--password-stdin と --password-file は同時に指定できません。\n"},
    {Msg::info,
     "形式バージョン:   %u\n"
     "パッケージサイズ: %llu バイト\n"
     "プログラムサイズ: %llu バイト\n"
     "ペイロードサイズ: %llu バイト\n"
     "内容のサイズ:     %llu バイト\n"
     "鍵導出:           Argon2id、%u パス、%u KiB\n"
     "動作環境:         %s\n"},
    {Msg::pressEnter, "Enter キーを押すと、このウィンドウを閉じます。"},
    {Msg::showPassword, "パスワードを表示する(&S)"},
    {Msg::cancel, "キャンセル"},
    {Msg::aboutItem, "このプログラムとライセンスについて(&A)..."},
    {Msg::aboutTitle, "Dozo パッケージについて"},
    {Msg::wrongPasswordAgain, "パスワードが違います。もう一度入力してください。"},
    {Msg::restoredIn, "%s を復元しました。\nフォルダー: %s"},
    {Msg::restoring, "%s を復元しています。\nフォルダー: %s"},
    {Msg::openFolder, "フォルダーを開く(&O)"},
    {Msg::existsIn,
     "%s は既にフォルダー %s にあります。\n"
     "置き換えますか。それとも、復元するファイルを別の名前で保存しますか。"},
    {Msg::replace, "置き換える(&R)"},
    {Msg::saveAs, "別の名前で保存(&A)..."},
    {Msg::saveAsTitle, "復元するファイルの保存先"},
    {Msg::allFiles, "すべてのファイル"},
};
const std::size_t kJapaneseCount = std::size(kJapanese);

#ifndef _WIN32
bool japaneseLocale(char* const* envp) {
    // No C library here: plain loops over the environment, three passes in
    // order of precedence.
    RIVO_EARLY_DATA static const char names[3][13] = {"LC_ALL=", "LC_MESSAGES=", "LANG="};
    for (const char* name : names) {
        for (char* const* e = envp; *e != nullptr; ++e) {
            const char* v = *e;
            const char* n = name;
            while (*n != '\0' && *v == *n) ++v, ++n;
            if (*n != '\0' || *v == '\0') continue;
            return v[0] == 'j' && v[1] == 'a';
        }
    }
    return false;
}

bool japanese() {
    static const bool ja = japaneseLocale(environ);
    return ja;
}

std::string lastError() {
    return std::strerror(errno);
}

void put(FILE* stream, const char* message) {
    std::fputs(message, stream);
}
#endif

const char* text(const char* english) {
    if (!japanese()) return english;
    for (const Translation& t : kJapanese)
        if (t.english == english) return t.japanese;
    return english;
}

std::string shown(std::string_view name) {
    return fileio::printable(name);
}

namespace {
std::string* gKept = nullptr;
}

void say(FILE* stream, const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    put(stream, line);
    if (gKept != nullptr) gKept->append(line);
}

void keepMessages() {
    static std::string kept;
    gKept = &kept;
}

const std::string& keptMessages() {
    static const std::string none;
    return gKept != nullptr ? *gKept : none;
}

}  // namespace dozo::rivo
