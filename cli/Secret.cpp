#include "cli/Secret.h"

#include "cli/Report.h"

#include "core/text/Language.h"

#include <QFile>

#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "dozo/fileio/io.h"

namespace dozo::cli {

namespace {

void wipe(QByteArray& bytes) {
    if (bytes.isEmpty()) return;
    volatile char* p = bytes.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) p[i] = 0;
    bytes.clear();
}

// Touched by the signal handler: plain globals only.
int gTty = -1;
struct termios gSaved;
volatile sig_atomic_t gEchoOff = 0;

void restoreAndDie(int sig) {
    if (gEchoOff) {
        ::tcsetattr(gTty, TCSAFLUSH, &gSaved);
        (void)!::write(gTty, "\n", 1);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::optional<Secret> askTerminal(int tty, const QString& prompt) {
    const QByteArray text = prompt.toUtf8();
    if (::tcgetattr(tty, &gSaved) != 0) return std::nullopt;
    gTty = tty;
    struct termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    auto* oldInt = ::signal(SIGINT, restoreAndDie);
    auto* oldTerm = ::signal(SIGTERM, restoreAndDie);
    // Echo goes off before the prompt shows, so nothing typed after it is echoed.
    gEchoOff = ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    (void)!::write(tty, text.constData(), static_cast<std::size_t>(text.size()));
    std::optional<Secret> got = readFirstLine(tty);
    if (gEchoOff) ::tcsetattr(tty, TCSAFLUSH, &gSaved);
    gEchoOff = 0;
    ::signal(SIGINT, oldInt);
    ::signal(SIGTERM, oldTerm);
    return got;
}

}  // namespace

Secret::~Secret() {
    wipe(bytes);
}

Secret::Secret(Secret&& other) noexcept : bytes(std::move(other.bytes)) {
    other.bytes.clear();
}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        wipe(bytes);
        bytes = std::move(other.bytes);
        other.bytes.clear();
    }
    return *this;
}

std::optional<Secret> readFirstLine(int fd) {
    Secret secret;
    secret.bytes.reserve(Secret::kReserved);
    bool any = false;
    for (;;) {
        char c;
        const ssize_t got = dozo::fileio::readFully(fd, &c, 1);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        any = true;
        if (c == '\n') break;
        secret.bytes.append(c);
    }
    if (!any) return std::nullopt;
    return secret;
}

std::optional<Secret> obtainSecret(const SecretSource& source, const QString& prompt,
                                   const QString& again, bool confirm, QString* error) {
    if (source.kind == SecretSource::Kind::Stdin) {
        std::optional<Secret> got = readFirstLine(STDIN_FILENO);
        if (!got) *error = say("標準入力から読み込めません。", "nothing to read on standard input");
        return got;
    }
    if (source.kind == SecretSource::Kind::File) {
        const int fd = ::open(QFile::encodeName(source.file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = QStringLiteral("%1: %2").arg(Report::shown(source.file),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
        std::optional<Secret> got = readFirstLine(fd);
        ::close(fd);
        // An empty file gives an empty secret, refused by the caller's rules.
        if (!got) return Secret();
        return got;
    }

    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        *error = say("端末がありません。--key-stdin/--password-stdin などで指定してください。",
                     "no terminal to ask on; use the -stdin or -file option");
        return std::nullopt;
    }
    std::optional<Secret> first = askTerminal(tty, prompt);
    std::optional<Secret> second;
    if (first && confirm) second = askTerminal(tty, again);
    ::close(tty);
    if (!first || (confirm && !second)) {
        *error = say("入力が中断されました。", "input ended");
        return std::nullopt;
    }
    if (confirm && first->bytes != second->bytes) {
        *error = say("2回の入力が一致しません。", "the two entries differ");
        return std::nullopt;
    }
    return first;
}

}  // namespace dozo::cli
