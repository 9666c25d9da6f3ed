#include "core/startup/AppDirectories.h"

#include <QDir>

namespace dozo {

namespace {

QString withTrailingSlash(QString dir) {
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

}  // namespace

AppDirectories AppDirectories::resolve(const QString& applicationDir,
                                       const QString& systemOverride) {
    AppDirectories dirs;
    dirs.application = QDir::cleanPath(QDir(applicationDir).absolutePath());
    // No environment variable chooses the libraries: one that did would let
    // anything that sets it swap the library a password is handed to.
    const QString system = systemOverride.isEmpty()
                               ? dirs.application + QStringLiteral("/" DOZO_BIN_TO_LIBDIR)
                               : systemOverride;
    dirs.system = withTrailingSlash(QDir::cleanPath(QDir(system).absolutePath()));
    dirs.data = withTrailingSlash(
        QDir::cleanPath(dirs.application + QStringLiteral("/" DOZO_BIN_TO_DATADIR)));
    return dirs;
}

}  // namespace dozo
