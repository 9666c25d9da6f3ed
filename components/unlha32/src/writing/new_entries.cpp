#include "writing/new_entries.h"

#include <string>

#include "dozo/fileio/printable.h"

namespace unlha32 {

Outcome cancelled(const Progress& progress) {
    return failure(UNLHA_CANCELLED, {UNLHA_CAUSE_CANCELLED},
                   "中止しました (" + std::to_string(progress.entriesDone()) +
                       "個の項目の後で): 書庫は元のままです");
}

Outcome writeFailure(const Input& input, const ArchiveWriter& writer, const Progress& progress) {
    if (progress.stopRequested()) return cancelled(progress);
    using Failed = ArchiveWriter::Failed;
    const int error = writer.systemError();
    // Compressed data that does not decode back is our fault, not the
    // disk's: nothing of the run is committed.
    if (writer.failed() == Failed::miscoded)
        return failure(UNLHA_ERROR_INTERNAL, {UNLHA_CAUSE_MISCODED, input.path()},
                       "UNLHA32の誤りです: 圧縮したデータを展開すると元のファイルに戻らないため、"
                       "書庫には何も書き込んでいません: " +
                           printable(input.path()) + " (" + writer.error() + ")");
    if (writer.failed() == Failed::input)
        return failure(
            UNLHA_ERROR_INPUT,
            {error != 0 ? UNLHA_CAUSE_INPUT_READ : UNLHA_CAUSE_INPUT_CHANGED, input.path(), error},
            "ファイルを読めません: " + printable(input.path()) + ": " + writer.error());
    if (writer.failed() == Failed::name)
        return failure(
            UNLHA_ERROR_INPUT, {UNLHA_CAUSE_NAME_NONE, input.path()},
            "格納する名前を決められません: " + printable(input.path()) + ": " + writer.error());
    return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, error},
                   "書庫を書けません: " + printable(input.path()) + ": " + writer.error());
}

Outcome archiveFailure(const ArchiveWriter& writer) {
    return failure(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_ARCHIVE_WRITE, {}, writer.systemError()},
                   "書庫を書けません: " + writer.error());
}

Outcome readUnchanged(const Input& input, int fd, const struct stat& opened) {
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_size != opened.st_size ||
        now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec ||
        now.st_ctim.tv_sec != opened.st_ctim.tv_sec ||
        now.st_ctim.tv_nsec != opened.st_ctim.tv_nsec)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_CHANGED, input.path()},
                       "格納中にファイルが変更されました: " + printable(input.path()));
    return {};
}

Outcome writeInput(ArchiveWriter& writer, Input& input, Method method, const Progress& progress) {
    input.done = true;
    if (input.info.directory) {
        if (!writer.addDirectory(input.info)) return writeFailure(input, writer, progress);
        return {};
    }
    dozo::fileio::Fd fd;
    struct stat st {};
    if (Outcome o = openInput(input, fd, st); o.failed()) return o;
    if (!writer.addFile(input.info, fd.get(), st.st_size, method))
        return writeFailure(input, writer, progress);
    return readUnchanged(input, fd.get(), st);
}

Outcome writeCounted(ArchiveWriter& writer, Input& input, Method method, Progress& progress) {
    if (progress.stopRequested()) return cancelled(progress);
    if (Outcome o = writeInput(writer, input, method, progress); o.failed()) return o;
    progress.entryDone(input.size);
    return {};
}

}  // namespace unlha32
