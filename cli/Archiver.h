#pragma once

#include <QByteArray>
#include <QTemporaryDir>

namespace dozo::cli {

// The archiver takes its method and its overwrite choice from the user's
// settings file only. For one run with other values this points the
// archiver, in this process alone, at a copy of that file with the values
// changed, and puts everything back when it goes away.
class ArchiverSettings {
public:
    // Lines such as "method=lh7" that take precedence over the user's; none
    // leaves the archiver with the user's file (and ok() false).
    explicit ArchiverSettings(const QByteArray& overrides);
    ~ArchiverSettings();
    ArchiverSettings(const ArchiverSettings&) = delete;
    ArchiverSettings& operator=(const ArchiverSettings&) = delete;

    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_home;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    bool m_ok = false;
};

}  // namespace dozo::cli
