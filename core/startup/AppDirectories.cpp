#include "core/startup/AppDirectories.h"

#include <QDir>
#include <QtGlobal>

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
    QString system = systemOverride;
    if (system.isEmpty()) system = qEnvironmentVariable("DOZO_SYSTEM_DIR");
    if (system.isEmpty()) system = dirs.application + QStringLiteral("/" DOZO_BIN_TO_LIBDIR);
    dirs.system = withTrailingSlash(QDir::cleanPath(QDir(system).absolutePath()));
    dirs.data = withTrailingSlash(
        QDir::cleanPath(dirs.application + QStringLiteral("/" DOZO_BIN_TO_DATADIR)));
    return dirs;
}

}  // namespace dozo
