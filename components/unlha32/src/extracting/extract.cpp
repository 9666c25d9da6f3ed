#include "extracting/extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cassert>
#include <cstring>
#include <vector>

#include "command/progress.h"
#include "dozo/fileio/printable.h"
#include "extracting/entry_name.h"
#include "extracting/extractor.h"
#include "reading/archive_reader.h"
#include "reading/stored_names.h"

namespace unlha32 {

using dozo::fileio::Fd;

void Extractor::problem(int code, Fault fault, const std::string& line) {
    assert(code != UNLHA_OK);
    // A kept file must not hide damage found after it.
    if (code == UNLHA_ERROR_SKIPPED) {
        if (!firstSkipped_.failed()) firstSkipped_ = failure(code, std::move(fault), line);
        ++skipped_;
    } else {
        if (!first_.failed()) first_ = failure(code, std::move(fault), line);
        ++problems_;
    }
}

void Extractor::notice(const std::string& line) {
    notices_ += "警告: " + line + "\n";
}

bool Extractor::skipData() {
    if (reader_.skipData() == ARCHIVE_OK) return true;
    problem(UNLHA_ERROR_DATA, {UNLHA_CAUSE_ARCHIVE_CUT, stored_},
            "書庫が途中で切れています: " + reader_.error());
    return false;
}

Outcome Extractor::run(const std::string& destination) {
    std::string reason;
    if (int error = 0; !destination_.open(destination, reason, error))
        return failure(UNLHA_ERROR_WRITE,
                       {UNLHA_CAUSE_FOLDER_CREATE, destination_.pathOf({}, 0), error}, reason);

    int entries = 0;
    Progress progress(-1, -1);
    progress_ = &progress;
    progress.start();
    for (;;) {
        // Asked between entries only: the one under way is finished whole.
        if (progress.stopRequested()) break;
        archive_entry* entry = nullptr;
        const int r = reader_.next(entry);
        if (r == ARCHIVE_EOF) break;
        if (r == ARCHIVE_FATAL || entry == nullptr) {
            // Whatever came before stays; say where the run stopped.
            problem(UNLHA_ERROR_NOT_ARCHIVE,
                    {reader_.cutShort() ? UNLHA_CAUSE_ARCHIVE_CUT : UNLHA_CAUSE_ARCHIVE_DAMAGED},
                    (reader_.cutShort() ? "" : "書庫のヘッダーを読めません: ") + reader_.error() +
                        " (" +
                        (entries == 0 ? std::string("最初の項目")
                                      : std::to_string(entries) + "個目の項目 " + lastName_ +
                                            " の後で展開を中断しました") +
                        ")");
            break;
        }
        ++entries;
        if (r == ARCHIVE_FAILED) {
            problem(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_DAMAGED},
                    "読めない項目があります: " + reader_.error());
            if (!skipData()) break;
            continue;
        }
        const Step step = extractEntry(entry);
        if (!stoppedIn_.empty()) break;
        progress.entryDone(archive_entry_size(entry));
        if (step == Step::stop) break;
    }
    if (entries == 0 && problems_ == 0 && !progress.stopRequested())
        problem(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_ARCHIVE_EMPTY}, "書庫に項目がありません");
    for (const std::string& line : destination_.applyFolderTimes()) notice(line);
    // New files are linked in without a flush of their own: one flush of the
    // destination's file system makes them durable before the run reports them.
    if (const int error = destination_.flush(); error != 0) {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FLUSH, destination_.pathOf({}, 0), error},
                std::string("展開したファイルをディスクに書き込めません (") + std::strerror(error) +
                    ")");
    }

    if (progress.stopRequested()) {
        // The entry a stop came inside is not done: its file is not placed.
        const int done = entries - (stoppedIn_.empty() ? 0 : 1);
        std::string stopped = "中止しました: " + std::to_string(done) + "個の項目を展開した後で";
        if (!stoppedIn_.empty())
            stopped += " (展開中だった " + printable(stoppedIn_) + " は置かずに消しました)";
        if (problems_ + skipped_ > 0)
            stopped += " (それまでに" + std::to_string(problems_ + skipped_) +
                       "件の問題: " + (problems_ > 0 ? first_ : firstSkipped_).reason + ")";
        return failure(UNLHA_CANCELLED, {UNLHA_CAUSE_CANCELLED, stoppedIn_}, stopped);
    }
    if (problems_ == 0 && skipped_ == 0) return {UNLHA_OK, {}, notices_, false};
    Outcome result;
    if (problems_ == 0) {
        result = failure(UNLHA_ERROR_SKIPPED, firstSkipped_.fault,
                         std::to_string(skipped_) + "個の既存ファイルを上書きせずに残しました (" +
                             firstSkipped_.reason + ")");
    } else if (problems_ + skipped_ == 1) {
        result = first_;
    } else {
        result = failure(first_.code, first_.fault,
                         std::to_string(problems_ + skipped_) +
                             "件の問題がありました。最初の問題: " + first_.reason);
    }
    return result;
}

Extractor::Step Extractor::extractEntry(archive_entry* entry) {
    const char* rawName = archive_entry_pathname_utf8(entry);
    if (rawName == nullptr) rawName = archive_entry_pathname(entry);
    stored_ = rawName == nullptr ? std::string() : std::string(rawName);
    if (rawName == nullptr) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, {UNLHA_CAUSE_ENTRY_UNSAFE},
                "名前を読めない項目を展開しません: " + reader_.error());
        return skipData() ? Step::next : Step::stop;
    }
    const std::string name = printable(rawName);
    lastName_ = name;
    const mode_t type = archive_entry_filetype(entry);
    PlacedName placed;
    std::string why;
    if (!placeEntryName(rawName, type == AE_IFDIR, placed, why)) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, {UNLHA_CAUSE_ENTRY_UNSAFE, stored_},
                why + "は展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (placed.top) return skipData() ? Step::next : Step::stop;
    const std::vector<std::string>& parts = placed.parts;
    if (archive_entry_hardlink(entry) != nullptr || archive_entry_symlink(entry) != nullptr ||
        type == AE_IFLNK) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, {UNLHA_CAUSE_ENTRY_LINK, stored_},
                "リンクは展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (type != AE_IFREG && type != AE_IFDIR) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, {UNLHA_CAUSE_ENTRY_SPECIAL, stored_},
                "特殊ファイルは展開しません: " + name);
        return skipData() ? Step::next : Step::stop;
    }
    if (placed.renamed)
        notice("読めない文字を含む名前を変えて展開します: " + name + " -> " +
               printable(placed.placed));

    if (type == AE_IFDIR) {
        Destination::Made made;
        const Fd dir(openFolders(parts, parts.size(), made, name));
        if (dir.get() >= 0) {
            destination_.rememberFolder(dir.get(), parts,
                                        static_cast<mode_t>(archive_entry_perm(entry)),
                                        archive_entry_mtime(entry));
        }
        return skipData() ? Step::next : Step::stop;
    }
    return extractFile(entry, parts, name);
}

int Extractor::openFolders(const std::vector<std::string>& parts, std::size_t count,
                           Destination::Made& made, const std::string& name) {
    Destination::Failure failed;
    const int fd = destination_.openFolders(parts, count, made, failed);
    if (fd >= 0) return fd;
    const std::string path = destination_.pathOf(parts, failed.count);
    if (failed.throughLink) {
        problem(UNLHA_ERROR_UNSAFE_ENTRY, {UNLHA_CAUSE_FOLDER_LINK, path},
                "展開先のシンボリックリンクはたどりません: " + printable(failed.path) + " (" +
                    name + ")");
    } else {
        problem(UNLHA_ERROR_WRITE, {UNLHA_CAUSE_FOLDER_CREATE, path, failed.error},
                "フォルダーを作れません: " + printable(failed.path) + " (" +
                    std::strerror(failed.error) + ")");
    }
    return -1;
}

Outcome extractArchive(const char* archivePath, const std::string& destination, bool overwrite) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(archivePath, reason)) {
        return openFailure(archivePath, reason,
                           reader.openResult() != ArchiveReader::OpenResult::cannotOpen,
                           reader.openError());
    }
    return Extractor(reader, overwrite).run(destination);
}

Outcome extractMemory(const void* data, std::size_t size, const std::string& destination,
                      bool overwrite) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openMemory(data, size, reason))
        return failure(UNLHA_ERROR_NOT_ARCHIVE, {UNLHA_CAUSE_NOT_ARCHIVE}, reason);
    return Extractor(reader, overwrite).run(destination);
}

}  // namespace unlha32
