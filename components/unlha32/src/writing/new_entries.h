#pragma once

// A pack's new entries: the inputs the old archive does not hold (or holds
// older), written as they are found, runs of files handed to the writer at
// once so that it can use every core.

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "command/outcome.h"
#include "command/progress.h"
#include "dozo/fileio/io.h"
#include "writing/lha/archive_writer.h"
#include "writing/pack_inputs.h"

namespace unlha32 {

using unlha::ArchiveWriter;
using unlha::Method;

Outcome cancelled(const Progress& progress);

// The writer failed on the archive, on the input or on its name; or it was
// stopped inside the file as asked.
Outcome writeFailure(const Input& input, const ArchiveWriter& writer, const Progress& progress);

// What went wrong writing the archive itself.
Outcome archiveFailure(const ArchiveWriter& writer);

// A file written to while it was read gives an entry of bytes from both
// versions, or only the first bytes of a file that grew; read in pieces, its
// data may not even decode to what its CRC was taken of.
Outcome readUnchanged(const Input& input, int fd, const struct stat& opened);

Outcome writeInput(ArchiveWriter& writer, Input& input, Method method, const Progress& progress);

// Writes an input unless the caller asked to stop before it.
Outcome writeCounted(ArchiveWriter& writer, Input& input, Method method, Progress& progress);

// New inputs are added a run at a time, so that the writer can compress
// files under 2 MiB on several cores; the archive is the same as one by one.
class Batch {
public:
    Batch(ArchiveWriter& writer, Method method, Progress& progress)
        : writer_(writer), method_(method), progress_(progress) {}

    // Adds an input unless the caller asked to stop before it.
    Outcome add(Input& input) {
        if (progress_.stopRequested()) return cancelled(progress_);
        if (input.info.directory) {
            if (Outcome o = flush(); o.failed()) return o;
            return writeCounted(writer_, input, method_, progress_);
        }
        input.done = true;
        dozo::fileio::Fd fd;
        struct stat st {};
        if (Outcome o = openInput(input, fd, st); o.failed()) return o;
        files_.push_back({input.info, fd.get(), st.st_size});
        inputs_.push_back(&input);
        fds_.push_back(std::move(fd));
        opened_.push_back(st);
        bytes_ += st.st_size;
        return files_.size() == kFiles || bytes_ >= kBytes ? flush() : Outcome{};
    }

    Outcome flush() {
        std::size_t failed = 0;
        const bool ok = writer_.addFiles(files_, method_, &failed);
        Outcome o = ok ? Outcome{} : writeFailure(*inputs_[failed], writer_, progress_);
        for (std::size_t i = 0; ok && !o.failed() && i < inputs_.size(); ++i)
            o = readUnchanged(*inputs_[i], fds_[i].get(), opened_[i]);
        // A stop asked for after one file of the run is honoured there: the
        // rest were compressed in vain, but nothing of the run is committed.
        for (std::size_t i = 0; !o.failed() && i < inputs_.size(); ++i) {
            progress_.entryDone(inputs_[i]->size);
            if (i + 1 < inputs_.size() && progress_.stopRequested()) {
                o = cancelled(progress_);
                break;
            }
        }
        files_.clear();
        inputs_.clear();
        fds_.clear();
        opened_.clear();
        bytes_ = 0;
        return o;
    }

private:
    // Few enough open files and buffered bytes for any process.
    static constexpr std::size_t kFiles = 128;
    static constexpr std::int64_t kBytes = 8 << 20;

    ArchiveWriter& writer_;
    Method method_;
    Progress& progress_;
    std::vector<ArchiveWriter::FileInput> files_;
    std::vector<Input*> inputs_;
    std::vector<dozo::fileio::Fd> fds_;
    std::vector<struct stat> opened_;  // each file as it was opened
    std::int64_t bytes_ = 0;
};

}  // namespace unlha32
