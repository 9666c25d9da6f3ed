#pragma once

#include "Library.h"

#include <QString>

namespace dozo {

// The package library's one export. Safe to use on the worker thread of a
// long run.
class PackageCall {
public:
    // Returned when the library or its export cannot be reached.
    static constexpr int kUnavailable = -1;
    // The longest password the package tab takes, in characters.
    static constexpr int kPasswordMaxLength = 100;

    explicit PackageCall(Library& rivo) : m_library(rivo) {}

    // 0 when the package at `destination` is complete. The password goes as
    // UTF-8, the encoding the package's own prompt reads it in.
    int run(void* owner, const QString& source, const QString& destination,
            const QString& password);

    // A short reason for a nonzero result.
    static QString reasonFor(int code);

private:
    Library& m_library;
};

}  // namespace dozo
