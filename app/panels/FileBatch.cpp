#include "FileBatch.h"

#include <QFile>

namespace dozo {

BatchOutcome FileBatch::run(const QStringList& paths, const Call& call, const Reason& reason,
                            const Stepped& stepped) {
    BatchOutcome outcome(static_cast<int>(paths.size()));
    for (int i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        const int code = call(QFile::encodeName(path));
        // The reason is read right after the call, while the file is still
        // as the library found it.
        if (code != 0) outcome.addFailure(path, reason(code, path));
        if (stepped) stepped(i + 1);
    }
    return outcome;
}

}  // namespace dozo
