#pragma once

#include "core/libraries/Library.h"
#include "core/text/Reasons.h"

#include <QByteArrayView>
#include <QString>
#include <functional>

namespace dozo {

// The package library's one export. Safe to use on the worker thread of a
// long run.
class PackageCall {
public:
    static constexpr int kUnavailable = Reasons::kUnavailable;
    // The longest password the package tab takes, in characters.
    static constexpr int kPasswordMaxLength = 100;

    // Hears the bytes of the source sealed of its size; false stops the call
    // (kCancelled, nothing written).
    using Follow = std::function<bool(qint64 done, qint64 total)>;

    explicit PackageCall(Library& rivo) : m_library(rivo) {}

    // 0 when the package at `destination` is complete. The password goes as
    // the bytes given: a typed one as UTF-8, the encoding the package's own
    // prompt reads a terminal in; one read from a file exactly as it is there.
    // `password` must be followed by a NUL: it goes on as it lies, uncopied.
    // With `follow`, the call reports to it on the calling thread, before and
    // after the key derivation and as it seals (when the library offers
    // progress at all).
    int run(void* owner, const QString& source, const QString& destination, QByteArrayView password,
            const Follow& follow = {});

private:
    Library& m_library;
};

}  // namespace dozo
