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
    // The index of a path that now names the file another path's call left.
    using Linked = std::function<void(int index)>;

    // With workers > 1, that many calls run at once. Each file is still
    // rewritten and made durable on its own; running several overlaps their
    // fsyncs, which the file system then commits together. A file named more
    // than once runs once, at its first naming: the same path again (or
    // through a symbolic link) is skipped and said so; another hard link of
    // it gets the file the call left, linked under that name in one atomic
    // swap (`linked` hears of it), so the names stay one file. It keeps the
    // old contents, a failure, when the call failed or the name was written
    // to meanwhile. Names of a file the run was not given keep the old
    // contents, and the outcome names the file. `reason`, `stepped` and
    // `linked` are called one at a time, and the failures come out in list
    // order. Once `control` is cancelled no file is started: the calls under
    // way finish, and the files not reached are named in the outcome as not
    // done.
    static BatchOutcome run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped, int workers = 1,
                            const JobControl* control = nullptr, const Linked& linked = {});
};

}  // namespace dozo
