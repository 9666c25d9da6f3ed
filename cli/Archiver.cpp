#include "Archiver.h"

#include <QDir>
#include <QFile>

namespace dozo::cli {

namespace {

QString userSettingsFile() {
    // Where the archiver reads its settings: XDG_CONFIG_HOME when absolute,
    // else ~/.config.
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!home.startsWith(QLatin1Char('/'))) home = QDir::homePath() + QStringLiteral("/.config");
    return home + QStringLiteral("/dozo/unlha32.conf");
}

}  // namespace

ArchiverSettings::ArchiverSettings(const QByteArray& overrides)
    : m_previous(qgetenv("XDG_CONFIG_HOME")),
      m_hadPrevious(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    if (overrides.isEmpty() || !m_home.isValid()) return;
    QByteArray text;
    QFile user(userSettingsFile());
    if (user.open(QIODevice::ReadOnly)) text = user.readAll();
    // Later lines win, so the user's other settings stay as they are.
    text += "\n" + overrides;
    if (!QDir(m_home.path()).mkpath(QStringLiteral("dozo"))) return;
    QFile copy(m_home.filePath(QStringLiteral("dozo/unlha32.conf")));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(text) != text.size() || !copy.flush())
        return;
    copy.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    m_ok = true;
}

ArchiverSettings::~ArchiverSettings() {
    if (!m_ok) return;
    if (m_hadPrevious) {
        qputenv("XDG_CONFIG_HOME", m_previous);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace dozo::cli
