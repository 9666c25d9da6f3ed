#include "app/shell/ApplicationFont.h"
#include "app/shell/QtTranslation.h"
#include "app/window/frmMain.h"

#include <QApplication>

#include <sys/prctl.h>

int main(int argc, char* argv[]) {
    // Passwords are typed into this window: no core dump, no peeking by ptrace.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
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
