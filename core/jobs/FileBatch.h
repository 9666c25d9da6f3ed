#pragma once

#include "core/jobs/BatchOutcome.h"
#include "core/jobs/JobControl.h"

#include <QByteArray>
#include <QStringList>
#include <functional>

namespace dozo {

// One library call per listed file, each file its own source and destination.
// Runs on the worker thread of a long run: it touches no widget and reports
// each finished file through `stepped`.
class FileBatch {
public:
    // Gets the path in the file system's encoding and the number of the
    // worker making the call (0 to workers - 1: calls at once never share
    // a worker's scratch files); answers the library's result code.
    using Call = std::function<int(const QByteArray& path, int worker)>;
    using Reason = std::function<QString(int code, const QString& path)>;
    // The number of files done so far, 1 to N, the list index of the file
    // just done, and whether its call succeeded (false for a failure and for
    // a repeat, which is not run).
    using Stepped = std::function<void(int done, int index, bool succeeded)>;

    // With workers > 1, that many calls run at once. Each file is still
    // rewritten and made durable on its own; running several overlaps their
    // fsyncs, which the file system then commits together. A file named more
    // than once (by the same path, through a symbolic link or as another hard
    // link) runs once, at its first naming; the others are skipped and said
    // so, as are files with other hard links, whose other names keep the old
    // contents. `reason` and `stepped` are called one at a time, and the
    // failures come out in list order. Once `control` is cancelled no file
    // is started: the calls under way finish, and the files not reached are
    // named in the outcome as not done.
    static BatchOutcome run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped, int workers = 1,
                            const JobControl* control = nullptr);
};

}  // namespace dozo
