#pragma once

#include <files.h>

#include <QByteArray>

// Pseudo-random content of `size` bytes, the same for the same seed: files
// whose rewrite always changes them and that do not compress.
inline QByteArray sampleBytes(int size, int seed) {
    const dozo::test::Bytes bytes =
        dozo::test::randomBytes(static_cast<std::size_t>(size), static_cast<std::uint32_t>(seed));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), size);
}
