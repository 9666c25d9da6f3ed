#include "command/outcome.h"

#include <errno.h>
#include <pthread.h>

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace unlha32 {
namespace {

// The Warnings of each thread inside a call, found by thread. Not thread_local:
// a library loaded by dlopen would keep it in dynamic TLS, which
// LeakSanitizer misreads at exit.
std::mutex registryMutex;
std::vector<std::pair<pthread_t, Warnings*>> registry;

Warnings* currentWarnings() {
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (auto it = registry.rbegin(); it != registry.rend(); ++it)
        if (::pthread_equal(it->first, ::pthread_self()) != 0) return it->second;
    return nullptr;
}

}  // namespace

Outcome openFailure(const char* archivePath, std::string reason, bool opened, int error) {
    if (opened)
        return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_NOT_ARCHIVE}, std::move(reason));
    const Fault fault{UNLHA_CAUSE_ARCHIVE_OPEN, {}, error};
    if (error == ENOENT || error == ENOTDIR) {
        return failure(UNLHA_ERROR_ARCHIVE_OPEN, fault,
                       std::string("書庫がありません: ") + printable(archivePath));
    }
    return failure(UNLHA_ERROR_ARCHIVE_OPEN, fault, std::move(reason));
}

std::string errorText(int error) {
    return std::strerror(error);
}

Warnings::Warnings() {
    const std::lock_guard<std::mutex> lock(registryMutex);
    registry.emplace_back(::pthread_self(), this);
}

Warnings::~Warnings() {
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        if (it->second == this) {
            registry.erase(it);
            break;
        }
    }
}

void warn(const std::string& line) {
    if (Warnings* warnings = currentWarnings()) warnings->lines_ += "警告: " + line + "\n";
}

}  // namespace unlha32
