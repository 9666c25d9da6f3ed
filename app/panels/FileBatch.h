#pragma once

#include "BatchOutcome.h"

#include <QByteArray>
#include <QStringList>
#include <functional>

namespace dozo {

// One library call per listed file, in list order, each file its own source
// and destination. Runs on the worker thread of a long run: it touches no
// widget and reports each finished file through `stepped`.
class FileBatch {
public:
    // Gets the path in the file system's encoding; answers the library's
    // result code.
    using Call = std::function<int(const QByteArray& path)>;
    using Reason = std::function<QString(int code, const QString& path)>;
    // The number of files done so far, 1 to N.
    using Stepped = std::function<void(int done)>;

    static BatchOutcome run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped);
};

}  // namespace dozo
