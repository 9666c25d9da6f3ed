#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "command/command.h"
#include "command/outcome.h"
#include "command/progress.h"
#include "reading/check.h"
#include "settings/config_dialog.h"
#include "unlha32.h"

namespace {

// Version 1.00.
constexpr int kVersion = 100;

// Copies text into the caller's buffer without passing outputSize and without
// cutting a UTF-8 sequence in two (a listing always fits whole by then).
void putReason(const std::string& text, char* output, unsigned long outputSize) {
    if (output == nullptr || outputSize == 0) return;
    std::size_t n = std::min<std::size_t>(text.size(), outputSize - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

// The reason for a listing that does not fit starts with the size it needs, so
// the caller can ask once more with exactly that. A cut number would ask for
// too little: it is written whole or not at all.
void putNeededSize(std::size_t needed, char* output, unsigned long outputSize) {
    const std::string digits = std::to_string(needed);
    putReason(outputSize > digits.size()
                  ? digits + "バイト必要です: 出力バッファーが一覧に足りません"
                  : std::string(),
              output, outputSize);
}

}  // namespace

extern "C" UNLHA_API int UnlhaGetVersion(void) {
    return kVersion;
}

extern "C" UNLHA_API int Unlha(void* /*ownerWindow*/, const char* commandLine, char* output,
                               unsigned long outputSize) {
    unlha32::Outcome outcome;
    try {
        const unlha32::Warnings warnings;
        outcome = unlha32::runCommand(commandLine);
        if (!outcome.failed()) outcome.output += warnings.lines();
    } catch (const std::bad_alloc&) {
        outcome =
            unlha32::failure(UNLHA_ERROR_INTERNAL, {UNLHA_CAUSE_NO_MEMORY}, "メモリが足りません");
    } catch (const std::exception& e) {
        outcome = unlha32::failure(UNLHA_ERROR_INTERNAL, {UNLHA_CAUSE_INTERNAL},
                                   std::string("内部エラー: ") + e.what());
    } catch (...) {
        outcome = unlha32::failure(UNLHA_ERROR_INTERNAL, {UNLHA_CAUSE_INTERNAL}, "内部エラー");
    }
    // A listing is all or nothing: a cut one would pass for a shorter archive.
    if (!outcome.failed() && outcome.outputWhole && outcome.output.size() >= outputSize) {
        putNeededSize(outcome.output.size() + 1, output, outputSize);
        unlha32::tellFailure(unlha32::failure(UNLHA_ERROR_OUTPUT, {}));
        return UNLHA_ERROR_OUTPUT;
    }
    putReason(outcome.failed() ? outcome.reason : outcome.output, output, outputSize);
    unlha32::tellFailure(outcome);
    return outcome.code;
}

extern "C" UNLHA_API int UnlhaCheckArchive(const char* path, int /*mode*/) {
    if (path == nullptr) return 0;
    try {
        return unlha32::checkArchive(path) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" UNLHA_API int UnlhaConfigDialog(void* /*ownerWindow*/, char* /*options*/, int /*mode*/) {
    try {
        return unlha32::showConfigDialog();
    } catch (...) {
        return UNLHA_ERROR_INTERNAL;
    }
}
