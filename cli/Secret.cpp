#include "cli/Secret.h"

#include "cli/Report.h"

#include "core/text/Language.h"
#include "core/text/ShownName.h"

#include <QFile>

#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <sodium.h>

#include <csignal>
#include <cstring>
#include <iterator>
#include <utility>

#include "dozo/fileio/io.h"

namespace dozo::cli {

namespace {

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

Secret::Read askTerminal(int tty, const QString& prompt, Secret& into) {
    const QByteArray text = prompt.toUtf8();
    if (::tcgetattr(tty, &gSaved) != 0) return Secret::Read::Failed;
    gTty = tty;
    struct termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // Every signal a user at the prompt can send from the keyboard or by
    // closing the window ends the program: none may leave the echo off.
    constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    sighandler_t old[std::size(kEnding)];
    for (std::size_t i = 0; i < std::size(kEnding); ++i)
        old[i] = ::signal(kEnding[i], restoreAndDie);
    // Echo goes off before the prompt shows, so nothing typed after it is echoed.
    gEchoOff = ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    (void)!::write(tty, text.constData(), static_cast<std::size_t>(text.size()));
    const Secret::Read got = into.readLine(tty);
    if (gEchoOff) ::tcsetattr(tty, TCSAFLUSH, &gSaved);
    gEchoOff = 0;
    for (std::size_t i = 0; i < std::size(kEnding); ++i) ::signal(kEnding[i], old[i]);
    return got;
}

QString tooLong() {
    return say("入力が長すぎます（%1バイトまで）。", "the line is longer than %1 bytes")
        .arg(Secret::kLimit);
}

QString noMemory() {
    return say("メモリーが足りません。", "out of memory");
}

}  // namespace

// sodium_malloc locks the pages where the system allows it and keeps them
// out of core dumps; a limit on locked memory only costs that protection.
Secret::Secret() {
    if (sodium_init() >= 0) m_data = static_cast<char*>(sodium_malloc(kLimit + 1));
    if (m_data) m_data[0] = '\0';
}

Secret::~Secret() {
    // Wipes before it unmaps.
    if (m_data) sodium_free(m_data);
}

Secret::Secret(Secret&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    return *this;
}

bool Secret::sameAs(const Secret& other) const {
    return m_size == other.m_size &&
           (m_size == 0 || sodium_memcmp(m_data, other.m_data, static_cast<size_t>(m_size)) == 0);
}

Secret::Read Secret::readLine(int fd) {
    if (!m_data) return Read::Failed;
    m_size = 0;
    Read read = Read::Nothing;
    for (;;) {
        // Straight into the locked room: the byte past kLimit lands on the
        // place of the closing NUL.
        char* c = m_data + m_size;
        const ssize_t got = dozo::fileio::readFully(fd, c, 1);
        if (got < 0) {
            read = Read::Failed;
            break;
        }
        if (got == 0) break;
        read = Read::Line;
        if (*c == '\n') break;
        if (m_size == kLimit) {
            read = Read::TooLong;
            break;
        }
        ++m_size;
    }
    if (read != Read::Line) m_size = 0;
    sodium_memzero(m_data + m_size, static_cast<size_t>(kLimit + 1 - m_size));
    return read;
}

std::optional<Secret> obtainSecret(const SecretSource& source, const QString& prompt,
                                   const QString& again, bool confirm, QString* error) {
    Secret first;
    if (!first.allocated()) {
        *error = noMemory();
        return std::nullopt;
    }
    if (source.kind == SecretSource::Kind::Stdin) {
        const Secret::Read read = first.readLine(STDIN_FILENO);
        if (read == Secret::Read::TooLong) {
            *error = tooLong();
        } else if (read != Secret::Read::Line) {
            *error = say("標準入力から読み込めません。", "nothing to read on standard input");
        }
        if (read != Secret::Read::Line) return std::nullopt;
        return first;
    }
    if (source.kind == SecretSource::Kind::File) {
        const int fd = ::open(QFile::encodeName(source.file).constData(), O_RDONLY | O_CLOEXEC);
        const Secret::Read read = fd < 0 ? Secret::Read::Failed : first.readLine(fd);
        const int cause = errno;
        if (fd >= 0) ::close(fd);
        if (read == Secret::Read::TooLong) {
            *error = QStringLiteral("%1: %2").arg(shownName(source.file), tooLong());
            return std::nullopt;
        }
        if (read == Secret::Read::Failed) {
            *error = QStringLiteral("%1: %2").arg(shownName(source.file),
                                                  QString::fromLocal8Bit(std::strerror(cause)));
            return std::nullopt;
        }
        // An empty file gives an empty secret, refused by the caller's rules.
        return first;
    }

    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        *error = say("端末がありません。--key-stdin/--password-stdin などで指定してください。",
                     "no terminal to ask on; use the -stdin or -file option");
        return std::nullopt;
    }
    Secret second;
    Secret::Read read = askTerminal(tty, prompt, first);
    // Enter alone is no entry: asking again for nothing would only confirm it.
    const bool nothing = read == Secret::Read::Line && first.bytes().isEmpty();
    if (read == Secret::Read::Line && !nothing && confirm) read = askTerminal(tty, again, second);
    ::close(tty);
    if (nothing) {
        *error = say("何も入力されていません。", "nothing was entered");
        return std::nullopt;
    }
    if (read == Secret::Read::TooLong) {
        *error = tooLong();
        return std::nullopt;
    }
    if (read != Secret::Read::Line) {
        *error = say("入力が中断されました。", "input ended");
        return std::nullopt;
    }
    if (confirm && !first.sameAs(second)) {
        *error = say("2回の入力が一致しません。", "the two entries differ");
        return std::nullopt;
    }
    return first;
}

}  // namespace dozo::cli
