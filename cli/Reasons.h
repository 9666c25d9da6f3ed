#pragma once

#include <ArchiverCall.h>

#include <QString>

namespace dozo::cli {

// The reason printed beside a failed path, in the user's language. The
// Japanese texts are the window's own.
QString transformReason(int code, const QString& path);
QString keyedReason(int code, const QString& path);
QString archiverReason(const ArchiverCall::Outcome& outcome);
QString packageReason(int code);

}  // namespace dozo::cli
