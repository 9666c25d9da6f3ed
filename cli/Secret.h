#pragma once

#include <dozo/contracts/rivo.h>

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace dozo::cli {

// Where a key or password comes from.
struct SecretSource {
    enum class Kind { Terminal, Stdin, File };
    Kind kind = Kind::Terminal;
    QString file;
};

// A key or password as the bytes given (UTF-8 as typed, a file's bytes as
// they are there), read straight into room of its own that is never copied:
// page-aligned, locked in memory where the system allows it, left out of core
// dumps and wiped when it goes away (sodium_malloc). Only the key's
// conversion to code page 932 for the keyed library is an ordinary string.
class Secret {
public:
    // The longest line taken: what the package library accepts, and more than
    // any key the keyed library takes can be typed as.
    static constexpr qsizetype kLimit = contracts::rivo::kPasswordMax;

    Secret();
    ~Secret();
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // False when there was no memory for it.
    bool allocated() const { return m_data != nullptr; }
    // Followed by a NUL, so it can go to the package library as it lies.
    QByteArrayView bytes() const { return {m_data, m_size}; }
    bool sameAs(const Secret& other) const;

    enum class Read { Line, Nothing, TooLong, Failed };
    // Replaces the secret with the first line of `fd`, its "\n" removed and
    // nothing else; a file without a newline is taken whole. The package
    // program reads its --password-stdin the same way, so a password piped to
    // both is the same password. Reads one byte at a time, so nothing after
    // the line is consumed, and at most one byte past kLimit: a longer line
    // is TooLong however long it goes on. Nothing when there was no byte.
    Read readLine(int fd);

private:
    char* m_data = nullptr;  // kLimit + 1 bytes
    qsizetype m_size = 0;
};

// The secret from stdin, a file or the terminal. On the terminal echo is off
// and, with `confirm`, the secret is asked twice and must match, so a typo
// does not lock a file away; an empty first entry is refused at once. nullopt
// with `error` set when no secret could be had (no terminal, unreadable
// file, a line longer than Secret::kLimit, nothing typed, the two entries
// differ). An empty file or line gives an empty secret, which the caller's
// rules refuse.
std::optional<Secret> obtainSecret(const SecretSource& source, const QString& prompt,
                                   const QString& again, bool confirm, QString* error);

}  // namespace dozo::cli
