#pragma once

namespace dozo::rivo {

enum class Msg {
    help,
    version,
    prompt,
    dialogTitle,
    dialogText,
    noTerminal,
    cancelled,
    wrongPassword,
    damaged,
    notPackage,
    unsupported,
    costTooHigh,
    exists,
    readFailed,
    writeFailed,
    outputDir,
    passwordFile,
    noMemory,
    restored,
    verified,
    badOption,
    missingValue,
    conflict,
    info,
    count_,
};

// English, or Japanese when the locale that decides messages (LC_ALL, else
// LC_MESSAGES, else LANG) starts with "ja". Texts are printf formats.
const char* text(Msg id);
bool japanese();

}  // namespace dozo::rivo
