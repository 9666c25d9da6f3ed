#pragma once

#include "app/dialogs/KeyValueStore.h"
#include "app/shell/UiServices.h"

namespace dozo {

// Where the system information program is recorded: the program's full path,
// or else the folder that holds "MSINFO32.EXE".
inline constexpr const char* kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kMsInfoPathValue = "PATH";
inline constexpr const char* kSharedToolsLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kMsInfoFolderValue = "MSINFO";
inline constexpr const char* kMsInfoProgram = "MSINFO32.EXE";

// Starts the system information program without waiting for it. Every
// failure (nothing recorded, no program file, a start that fails) ends in the
// one message "現時点ではｼｽﾃﾑ情報を使用できません"; true when the program started.
bool StartSysInfo(const KeyValueStore& store, UiServices& ui);

}  // namespace dozo
