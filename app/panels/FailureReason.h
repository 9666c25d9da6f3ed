#pragma once

#include <QString>

namespace dozo {

// Short Japanese reasons for the result codes of the transform and keyed
// libraries, as the closing message of a run lists them beside each file.
class FailureReason {
public:
    // Not a code of either library: the library or its export could not be
    // reached, so the file was never handed to it.
    static constexpr int kUnavailable = -1;

    static QString forTransform(int code, const QString& path);
    static QString forKeyed(int code, const QString& path);

    // Both libraries answer "cannot open the source" with one code; what is
    // wrong with the path is looked up afterwards so that the user reads
    // "missing" or "no permission" rather than a bare "cannot open".
    enum class OpenProblem { EmptyPath, Missing, Folder, NotAFile, NotReadable, Other };
    static OpenProblem openProblem(const QString& path);

private:
    static QString cannotOpen(const QString& path);
    static QString unknown(int code);
};

}  // namespace dozo
