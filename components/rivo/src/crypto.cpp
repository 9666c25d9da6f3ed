#include "crypto.h"

#include <cassert>
#include <cstring>

namespace dozo::rivo {
namespace {

constexpr char kContext[crypto_kdf_CONTEXTBYTES] = {'R', 'i', 'v', 'o', 'P', 'k', 'g', '1'};
constexpr std::size_t kKeyBytes = crypto_secretstream_xchacha20poly1305_KEYBYTES;
static_assert(kKeyBytes == 32 && kKeyCheckSize == 32);

}  // namespace

Keys::Keys() {
    if (sodium_init() < 0) return;
    mem_ = static_cast<std::uint8_t*>(sodium_malloc(2 * kKeyBytes));
}

Keys::~Keys() {
    if (mem_ != nullptr) sodium_free(mem_);
}

bool Keys::derive(const void* password, std::size_t length, const Header& h) {
    assert(valid());
    auto* master = static_cast<std::uint8_t*>(sodium_malloc(crypto_kdf_KEYBYTES));
    if (master == nullptr) return false;
    const bool ok =
        crypto_pwhash(master, crypto_kdf_KEYBYTES, static_cast<const char*>(password), length,
                      h.salt, h.opslimit, std::size_t{h.memlimitKib} * 1024, h.kdf) == 0;
    // Separate subkeys, so the stored check value reveals nothing about the stream key.
    if (ok) {
        crypto_kdf_derive_from_key(mem_, kKeyBytes, 1, kContext, master);
        crypto_kdf_derive_from_key(mem_ + kKeyBytes, kKeyCheckSize, 2, kContext, master);
    }
    sodium_free(master);
    return ok;
}

bool Keys::matches(const Header& h) const {
    return sodium_memcmp(check(), h.keyCheck, kKeyCheckSize) == 0;
}

StreamState::StreamState() {
    if (sodium_init() < 0) return;
    state_ =
        static_cast<crypto_secretstream_xchacha20poly1305_state*>(sodium_malloc(sizeof *state_));
}

StreamState::~StreamState() {
    if (state_ != nullptr) sodium_free(state_);
}

bool Sealer::start(const Keys& keys, Header& h) {
    if (state_.get() == nullptr) return false;
    std::memcpy(h.keyCheck, keys.check(), kKeyCheckSize);
    crypto_secretstream_xchacha20poly1305_init_push(state_.get(), h.streamHeader, keys.stream());
    return true;
}

void Sealer::seal(const std::uint8_t* in, std::size_t n, const std::uint8_t* ad,
                  std::size_t adLength, bool final, std::uint8_t* out) {
    const unsigned char tag = final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                    : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    crypto_secretstream_xchacha20poly1305_push(state_.get(), out, nullptr, in, n, ad, adLength,
                                               tag);
}

bool Opener::start(const Keys& keys, const Header& h) {
    return state_.get() != nullptr && crypto_secretstream_xchacha20poly1305_init_pull(
                                          state_.get(), h.streamHeader, keys.stream()) == 0;
}

bool Opener::open(const std::uint8_t* in, std::size_t n, const std::uint8_t* ad,
                  std::size_t adLength, std::uint8_t* out, bool& final) {
    unsigned char tag = 0;
    if (n < kTagOverhead || crypto_secretstream_xchacha20poly1305_pull(
                                state_.get(), out, nullptr, &tag, in, n, ad, adLength) != 0)
        return false;
    // Only the two tags we write are accepted: a REKEY or PUSH tag means a foreign stream.
    if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE &&
        tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL)
        return false;
    final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    return true;
}

}  // namespace dozo::rivo
