#include "app/shell/ApplicationFont.h"
#include "app/shell/QtTranslation.h"
#include "app/window/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dozo"));
    dozo::ApplicationFont::apply();
    dozo::QtTranslation::install();

    dozo::StartUpOptions options;
    // Qt has removed its own options; what is left is ours.
    options.arguments = QApplication::arguments().mid(1);

    // Destroyed on a confirmed close; the program ends with its last window.
    auto* window = new dozo::frmMain(options);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return app.exec();
}
