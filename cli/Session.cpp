#include "Session.h"

#include "Text.h"

#include <StartUp.h>

#include <QCoreApplication>
#include <QDir>

namespace dozo::cli {

namespace {

QString applicationDir() {
    return QCoreApplication::applicationDirPath();
}

}  // namespace

Session::Session()
    : m_dirs(AppDirectories::resolve(applicationDir())),
      m_libraries(m_dirs),
      m_work(m_dirs.application) {
    StartUpOptions options;
    options.applicationDir = m_dirs.application;
    StartUp::run(options, m_dirs, m_libraries, m_state);
}

QString Session::searched() const {
    return QDir::toNativeSeparators(m_dirs.system) + QStringLiteral(", ") +
           QDir::toNativeSeparators(m_dirs.application);
}

}  // namespace dozo::cli
