#pragma once

#include "core/libraries/Library.h"
#include "core/text/Reasons.h"

#include <QByteArrayView>
#include <QString>

namespace dozo {

// The package library's one export. Safe to use on the worker thread of a
// long run.
class PackageCall {
public:
    static constexpr int kUnavailable = Reasons::kUnavailable;
    // The longest password the package tab takes, in characters.
    static constexpr int kPasswordMaxLength = 100;

    explicit PackageCall(Library& rivo) : m_library(rivo) {}

    // The recipient's system: which program opens the package.
    enum class System { Windows, Linux };

    // 0 when the package at `destination` is complete. The password goes as
    // the bytes given: a typed one as UTF-8, the encoding the package's own
    // prompt reads a terminal in; one read from a file exactly as it is there.
    // `password` must be followed by a NUL: it goes on as it lies, uncopied.
    // A library that cannot make the package for `system` (one from before
    // Windows packages could be made: Linux ones only) gives
    // contracts::rivo::kSystem.
    int run(void* owner, const QString& source, const QString& destination, QByteArrayView password,
            System system);

private:
    Library& m_library;
};

}  // namespace dozo
