#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace dozo::cli {

// Where a key or password comes from.
struct SecretSource {
    enum class Kind { Terminal, Stdin, File };
    Kind kind = Kind::Terminal;
    QString file;
};

// A key or password as bytes (UTF-8 as typed). These bytes are wiped when
// they go away, and they are read into room reserved up front, so no smaller
// copy is left behind by a growing buffer for secrets of up to kReserved
// bytes. The conversions made for the libraries (the key in code page 932,
// the password handed to the package library) are ordinary Qt strings and
// are not wiped.
class Secret {
public:
    Secret() = default;
    ~Secret();
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;

    static constexpr qsizetype kReserved = 4096;
    QByteArray bytes;
};

// The first line of `fd`, its "\n" removed and nothing else; a file without
// a newline is taken whole. The package program reads its --password-stdin
// the same way, so a password piped to both is the same password. nullopt
// when nothing could be read.
std::optional<Secret> readFirstLine(int fd);

// The secret from stdin, a file or the terminal. On the terminal echo is off
// and, with `confirm`, the secret is asked twice and must match, so a typo
// does not lock a file away. nullopt with `error` set when no secret could be
// had (no terminal, unreadable file, the two entries differ).
std::optional<Secret> obtainSecret(const SecretSource& source, const QString& prompt,
                                   const QString& again, bool confirm, QString* error);

}  // namespace dozo::cli
