#pragma once

#include <QString>

namespace dozo {

// Where the application looks for its libraries.
struct AppDirectories {
    QString application;  // folder of the dozo executable, no trailing "/"
    QString system;       // <application>/../lib/dozo/ or $DOZO_SYSTEM_DIR, always ending in "/"

    // An empty `systemOverride` means: $DOZO_SYSTEM_DIR when set, else the
    // lib/dozo folder beside the application's bin folder, so a build tree and
    // an installed prefix look alike.
    static AppDirectories resolve(const QString& applicationDir,
                                  const QString& systemOverride = {});
};

}  // namespace dozo
