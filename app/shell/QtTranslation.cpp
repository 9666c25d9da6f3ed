#include "app/shell/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace dozo {

QString QtTranslation::folder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool QtTranslation::install() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ja"), folder())) {
        delete translator;
        std::fprintf(stderr, "dozo: qtbase_ja.qm not found in %s; Qt's dialogs stay English\n",
                     qPrintable(folder()));
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace dozo
