#include "command/command_line.h"

namespace unlha32 {

bool tokenize(std::string_view line, std::vector<std::string>& tokens) {
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n') {
            ++i;
            continue;
        }
        std::string token;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
                break;
            } else {
                token += c;
            }
        }
        if (quoted) return false;
        tokens.push_back(std::move(token));
    }
    return true;
}

bool parseCommandLine(std::string_view line, Command& command, std::string& reason) {
    std::vector<std::string> tokens;
    if (!tokenize(line, tokens)) {
        reason = "コマンドラインの引用符が閉じていません";
        return false;
    }
    if (tokens.empty()) {
        reason = "コマンドラインが空です";
        return false;
    }
    command = Command{};
    if (tokens[0] == "u") {
        command.kind = Command::Kind::pack;
    } else if (tokens[0] == "x") {
        command.kind = Command::Kind::extract;
    } else if (tokens[0] == "l") {
        command.kind = Command::Kind::list;
    } else if (tokens[0] == "t") {
        command.kind = Command::Kind::test;
    } else {
        reason = "未対応のコマンドです: " + tokens[0];
        return false;
    }

    bool all = false;
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        // Once the archive is named, a leading '-' belongs to a file name.
        if (positional.empty() && t.size() > 1 && t[0] == '-') {
            if (t == "-a1") {
                all = true;
            } else if (t == "-r2" && command.kind == Command::Kind::pack) {
                command.recurse = true;
            } else if (command.kind == Command::Kind::pack && t.size() == 3 && t[1] == 'm' &&
                       t[2] >= '5' && t[2] <= '7') {
                command.method = t[2] == '5'   ? Compression::lh5
                                 : t[2] == '6' ? Compression::lh6
                                               : Compression::lh7;
            } else if (command.kind == Command::Kind::pack && (t == "-e1" || t == "-e2")) {
                command.level = t == "-e2" ? Level::max : Level::normal;
            } else if (command.kind == Command::Kind::extract && (t == "-o0" || t == "-o1")) {
                command.overwrite = t == "-o1";
            } else {
                reason = "未対応のスイッチです: " + t;
                return false;
            }
            continue;
        }
        positional.push_back(t);
    }
    if (!all) {
        reason = "スイッチ -a1 がありません";
        return false;
    }
    const bool readOnly =
        command.kind == Command::Kind::list || command.kind == Command::Kind::test;
    if (readOnly) {
        if (positional.size() != 1 || positional[0].empty()) {
            reason = "書庫名を一つだけ指定してください";
            return false;
        }
        command.archive = positional[0];
        return true;
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        reason = command.kind == Command::Kind::pack
                     ? "書庫名と格納するファイルを一つずつ指定してください"
                     : "書庫名と展開先を一つずつ指定してください";
        return false;
    }
    command.archive = positional[0];
    command.argument = positional[1];
    if (command.kind == Command::Kind::pack && command.argument[0] == '@') {
        command.argument.erase(0, 1);
        command.argumentIsList = true;
        if (command.argument.empty()) {
            reason = "リストファイル名がありません";
            return false;
        }
    }
    return true;
}

}  // namespace unlha32
