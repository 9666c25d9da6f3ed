#include "command/command.h"

#include <vector>

#include "command/command_line.h"
#include "command/list_file.h"
#include "extracting/extract.h"
#include "reading/inspect.h"
#include "settings/settings.h"
#include "writing/pack.h"

namespace unlha32 {

Outcome runCommand(const char* commandLine) {
    if (commandLine == nullptr)
        return failure(UNLHA_ERROR_COMMAND, {UNLHA_CAUSE_COMMAND}, "コマンドラインがありません");
    Command command;
    std::string reason;
    if (!parseCommandLine(commandLine, command, reason))
        return failure(UNLHA_ERROR_COMMAND, {UNLHA_CAUSE_COMMAND}, reason);

    if (command.kind == Command::Kind::list) return listArchive(command.archive.c_str());
    if (command.kind == Command::Kind::test) return testArchive(command.archive.c_str());
    const Settings settings = loadSettings();
    if (command.kind == Command::Kind::extract) {
        return extractArchive(command.archive.c_str(), command.argument,
                              command.overwrite.value_or(settings.overwrite));
    }

    std::vector<std::string> inputs;
    if (command.argumentIsList) {
        int error = 0;
        if (!readListFile(command.argument, inputs, reason, error))
            return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_LIST_FILE, command.argument, error},
                           reason);
    } else {
        inputs.push_back(command.argument);
    }
    return packArchive(command.archive, inputs, command.recurse,
                       command.method.value_or(settings.method),
                       command.level.value_or(settings.level));
}

}  // namespace unlha32
