#include "reference.h"

#include <stdexcept>

namespace dozo::test {
namespace {

Bytes complementPass(const Bytes& in) {
    Bytes out;
    for (unsigned char b : in) out.push_back(b ^ 0xFF);
    return out;
}

Bytes xor2Pass(const Bytes& in) {
    Bytes out;
    for (unsigned char b : in) out.push_back(b ^ 0x02);
    return out;
}

Bytes pairSwapPass(const Bytes& in) {
    Bytes out;
    for (std::size_t i = 0; i < in.size(); i += 2) {
        if (i + 1 == in.size()) {
            out.push_back(in[i]);
            break;
        }
        out.push_back(in[i + 1]);
        out.push_back(in[i]);
    }
    return out;
}

Bytes reversalPass(const Bytes& in) {
    Bytes out;
    for (std::size_t i = in.size(); i-- > 0;) out.push_back(in[i]);
    return out;
}

}  // namespace

const Library& rozu32() {
    static const Library library("libRozu32.so");
    return library;
}

const std::vector<NamedMethod>& methods() {
    static const std::vector<NamedMethod> all = {
        {"FileEncryptionA", rozu32().get<Method>("FileEncryptionA"),
         [](const Bytes& s) { return complementPass(s); }},
        {"FileEncryptionC", rozu32().get<Method>("FileEncryptionC"),
         [](const Bytes& s) { return pairSwapPass(s); }},
        {"FileEncryptionLC", rozu32().get<Method>("FileEncryptionLC"),
         [](const Bytes& s) { return pairSwapPass(complementPass(s)); }},
        {"FileEncryptionLCR", rozu32().get<Method>("FileEncryptionLCR"),
         [](const Bytes& s) { return pairSwapPass(reversalPass(s)); }},
        {"FileEncryptionLCB", rozu32().get<Method>("FileEncryptionLCB"),
         [](const Bytes& s) { return xor2Pass(pairSwapPass(s)); }},
        {"FileEncryptionLCRB", rozu32().get<Method>("FileEncryptionLCRB"),
         [](const Bytes& s) { return xor2Pass(reversalPass(s)); }},
        {"i_CLOL", rozu32().get<Method>("i_CLOL"),
         [](const Bytes& s) { return xor2Pass(pairSwapPass(s)); }},
    };
    return all;
}

const NamedMethod& method(const std::string& name) {
    for (const auto& m : methods())
        if (name == m.name) return m;
    throw std::invalid_argument(name);
}

}  // namespace dozo::test
