#include "outcome.h"

#include <errno.h>
#include <sys/stat.h>

namespace unlha32 {
namespace {

thread_local Warnings* current = nullptr;

}  // namespace

Outcome openFailure(const char* archivePath, std::string reason) {
    struct stat st {};
    if (::stat(archivePath, &st) == 0) return failure(UNLHA_ERROR_NOT_ARCHIVE, std::move(reason));
    if (errno == ENOENT || errno == ENOTDIR) {
        return failure(UNLHA_ERROR_ARCHIVE_OPEN,
                       std::string("書庫がありません: ") + printable(archivePath));
    }
    return failure(UNLHA_ERROR_ARCHIVE_OPEN, std::move(reason));
}

Warnings::Warnings() : outer_(current) {
    current = this;
}

Warnings::~Warnings() {
    current = outer_;
}

void warn(const std::string& line) {
    if (current != nullptr) current->lines_ += "警告: " + line + "\n";
}

}  // namespace unlha32
