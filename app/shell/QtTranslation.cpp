#include "app/shell/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstring>

namespace dozo {

namespace {

// Qt 6 asks for the file list's kinds ("Folder", "Drive", "Shortcut") under
// a context of its own, QAbstractFileIconProvider; the Japanese catalogue
// still holds them under the file dialog's context, where Qt 5 asked, so the
// dialog showed "Folder" in English. The texts are answered from there.
class MovedTexts : public QTranslator {
public:
    MovedTexts(const QTranslator& catalogue, QObject* parent)
        : QTranslator(parent), m_catalogue(catalogue) {}

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        if (!context || std::strcmp(context, "QAbstractFileIconProvider") != 0) return {};
        const QString found = m_catalogue.translate("QFileDialog", sourceText, disambiguation, n);
        return found.isNull() ? m_catalogue.translate("QFileDialog", sourceText, nullptr, n)
                              : found;
    }

    bool isEmpty() const override { return false; }

private:
    const QTranslator& m_catalogue;
};

}  // namespace

QString QtTranslation::folder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool QtTranslation::install() {
    // Qt's own names of file types (the file dialog's Type column) follow
    // the default locale.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ja"), folder())) {
        delete translator;
        std::fprintf(stderr, "dozo: qtbase_ja.qm not found in %s; Qt's dialogs stay English\n",
                     qPrintable(folder()));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    // Asked before the catalogue: the last installed is asked first.
    return QCoreApplication::installTranslator(new MovedTexts(*translator, translator));
}

}  // namespace dozo
