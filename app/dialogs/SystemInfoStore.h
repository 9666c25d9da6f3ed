#pragma once

#include "app/dialogs/KeyValueStore.h"

#include <QStringList>

namespace dozo {

// The Linux back end of the lookup. Linux records no system information
// program anywhere, so the "PATH" value of the system information key is
// answered with the first program of `candidates()` found on PATH, searched
// at each lookup; the folder value is never there.
class SystemInfoStore : public KeyValueStore {
public:
    // In order of preference: the programs that describe the machine first,
    // then the system monitors of the common desktops.
    static QStringList candidates();

    // The first candidate that is an executable file in a folder of `path`
    // (a PATH-style list), or empty. Empty and relative entries are skipped,
    // so that the current folder never supplies a program.
    static QString findProgram(const QString& path);

    std::optional<Value> read(std::uint32_t root, const QString& key,
                              const QString& valueName) const override;
};

}  // namespace dozo
