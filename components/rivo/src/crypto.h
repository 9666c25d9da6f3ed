#pragma once

// Key derivation and the sealed message stream, shared by the library that
// writes packages and the stub that opens them.

#include <sodium.h>

#include <cstddef>
#include <cstdint>

#include "format.h"

namespace dozo::rivo {

static_assert(kTagOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kStreamHeaderSize == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kKdfArgon2id13 == crypto_pwhash_ALG_ARGON2ID13);

// The derived keys live in locked memory and are wiped when this goes away.
class Keys {
public:
    Keys();
    ~Keys();
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;

    bool valid() const { return mem_ != nullptr; }
    // Argon2id over the password with the header's salt and cost. False when
    // the memory cannot be had.
    bool derive(const void* password, std::size_t length, const Header& h);
    const std::uint8_t* stream() const { return mem_; }
    const std::uint8_t* check() const { return mem_ + 32; }
    bool matches(const Header& h) const;

private:
    std::uint8_t* mem_ = nullptr;
};

// The state of a sealed message stream, which holds a key: a guarded
// allocation, locked where the system allows and wiped when it goes away.
class StreamState {
public:
    StreamState();
    ~StreamState();
    StreamState(const StreamState&) = delete;
    StreamState& operator=(const StreamState&) = delete;
    crypto_secretstream_xchacha20poly1305_state* get() const { return state_; }

private:
    crypto_secretstream_xchacha20poly1305_state* state_ = nullptr;
};

// The sequence of sealed messages: metadata first (with the header as
// additional data), then the content chunks; the last message carries the
// final tag.
class Sealer {
public:
    // Fills h.streamHeader; h.keyCheck is set from keys. False when the
    // state's memory cannot be had.
    [[nodiscard]] bool start(const Keys& keys, Header& h);
    void seal(const std::uint8_t* in, std::size_t n, const std::uint8_t* ad, std::size_t adLength,
              bool final, std::uint8_t* out);

private:
    StreamState state_;
};

class Opener {
public:
    bool start(const Keys& keys, const Header& h);
    // Writes n - kTagOverhead bytes to out; false on any forgery.
    bool open(const std::uint8_t* in, std::size_t n, const std::uint8_t* ad, std::size_t adLength,
              std::uint8_t* out, bool& final);

private:
    StreamState state_;
};

}  // namespace dozo::rivo
