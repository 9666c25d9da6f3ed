#include "writing/pack.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "command/progress.h"
#include "dozo/fileio/printable.h"
#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"
#include "updating/archive_lock.h"
#include "updating/trailing_bytes.h"
#include "updating/verbatim_copy.h"
#include "writing/lha/archive_writer.h"
#include "writing/new_entries.h"
#include "writing/pack_inputs.h"

namespace unlha32 {
namespace {

unlha::Method toMethod(Compression method) {
    switch (method) {
        case Compression::lh6:
            return Method::lh6;
        case Compression::lh7:
            return Method::lh7;
        case Compression::lh5:
            break;
    }
    return Method::lh5;
}

// wasMissing: the archive did not exist when the update began.
Outcome replacementFailure(dozo::fileio::Status status, const std::string& archivePath,
                           bool wasMissing = false) {
    struct stat st {};
    const bool another = status == dozo::fileio::Status::sourceChanged ||
                         (status == dozo::fileio::Status::replace && wasMissing &&
                          ::lstat(archivePath.c_str(), &st) == 0);
    const std::string why =
        another ? "処理中に他のプログラムが書庫を書き換えました" : dozo::fileio::describe(status);
    const int cause = another                                 ? UNLHA_CAUSE_ARCHIVE_CHANGED
                      : status == dozo::fileio::Status::write ? UNLHA_CAUSE_ARCHIVE_WRITE
                                                              : UNLHA_CAUSE_ARCHIVE_REPLACE;
    return failure(UNLHA_ERROR_WRITE, {cause},
                   "書庫を書けません: " + printable(archivePath) + " (" + why + ")");
}

}  // namespace

Outcome packArchive(const std::string& archivePath, const std::vector<std::string>& arguments,
                    bool recurse, Compression compression, Level level) {
    const Method method = toMethod(compression);
    // Held until the result is in place (or dropped).
    ArchiveLock lock;
    if (Outcome o = lock.acquire(archivePath); o.failed()) return o;
    struct stat archiveStat {};
    const bool archiveExists = ::stat(archivePath.c_str(), &archiveStat) == 0;
    if (archiveExists && !S_ISREG(archiveStat.st_mode))
        return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_NOT_FILE},
                       "書庫の場所にファイル以外のものがあります: " + printable(archivePath));

    Inputs inputs(archiveExists ? &archiveStat : nullptr);
    for (const std::string& argument : arguments) {
        if (Outcome o = inputs.addArgument(argument, recurse); o.failed()) return o;
    }
    if (inputs.list().empty())
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NOTHING_TO_PACK},
                       "格納するファイルがありません");

    dozo::fileio::Replacement result;
    // A missing archive that another archiver creates meanwhile is its,
    // not ours to replace.
    if (auto status = result.open(archivePath.c_str(), !archiveExists);
        status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath);
    ArchiveWriter writer(result.fd());
    writer.setLevel(level == Level::max ? unlha::Level::max : unlha::Level::normal);
    std::int64_t bytes = 0;
    for (const Input& input : inputs.list()) bytes += input.size;
    Progress progress(static_cast<std::int64_t>(inputs.list().size()), bytes);
    progress.start();
    // A stop asked for inside a large file ends it there: nothing is committed.
    writer.setInputDone([&progress](std::int64_t done) { return progress.partDone(done); });
    // An empty file holds no entries to keep; it is simply replaced.
    std::int64_t endAt = 0;
    if (archiveExists && archiveStat.st_size > 0) {
        if (Outcome o = rewriteExisting(archivePath, inputs, writer, method, progress, endAt);
            o.failed())
            return o;
    }
    Batch batch(writer, method, progress);
    for (Input& input : inputs.list()) {
        if (input.done) continue;
        if (Outcome o = batch.add(input); o.failed()) return o;
    }
    if (Outcome o = batch.flush(); o.failed()) return o;
    // Asked during the last entry, the stop still holds: the archive stays.
    if (progress.stopRequested()) return cancelled(progress);
    if (!writer.finish()) return archiveFailure(writer);
    if (Outcome o = keepTrailing(lock.archive(), endAt, result, archivePath); o.failed()) return o;
    if (auto status = result.commit(0, lock.archive()); status != dozo::fileio::Status::ok)
        return replacementFailure(status, archivePath, !archiveExists);
    return {};
}

}  // namespace unlha32
