#include "app/shell/ApplicationFont.h"
#include "app/shell/QtTranslation.h"
#include "app/window/CommandLine.h"
#include "app/window/frmMain.h"

#include <QApplication>

#include <sys/prctl.h>

#include <cstdio>

namespace {

// Prints what the command line asked for; its exit status, or -1 when the
// window is to open.
int answered(const dozo::CommandLine& line) {
    if (line.action == dozo::CommandLine::Action::OpenWindow) return -1;
    const bool refused = line.action == dozo::CommandLine::Action::Refused;
    std::fputs(line.text.toLocal8Bit().constData(), refused ? stderr : stdout);
    return refused ? 2 : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Passwords are typed into this window: no core dump, no peeking by ptrace.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // --help and --version work without a display, so they are answered
    // before Qt starts and looks for one.
    QStringList raw;
    for (int i = 1; i < argc; ++i) raw.append(QString::fromLocal8Bit(argv[i]));
    if (const int code = answered(dozo::CommandLine::parse(raw, true)); code >= 0) return code;

    // Qt sees only what comes before "--"; it outlives the application, which
    // keeps a reference to it.
    int qtArgc = dozo::CommandLine::qtArgumentCount(argc, argv);
    const QStringList afterOptions = raw.mid(qtArgc - 1);
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("dozo"));

    // Qt has removed its own options; what is left is ours.
    const dozo::CommandLine line =
        dozo::CommandLine::parse(QApplication::arguments().mid(1) + afterOptions);
    if (const int code = answered(line); code >= 0) return code;

    dozo::ApplicationFont::apply();
    dozo::QtTranslation::install();

    dozo::StartUpOptions options;
    options.arguments = line.files;

    // Destroyed on a confirmed close; the program ends with its last window.
    auto* window = new dozo::frmMain(options);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return app.exec();
}
