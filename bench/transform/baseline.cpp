#include "baseline.h"

#include <unistd.h>

#include <cstdio>

namespace dozo::bench {
namespace {

struct Files {
    std::FILE* in;
    std::FILE* out;
    Files(const std::string& from, const std::string& to)
        : in(std::fopen(from.c_str(), "rb")), out(std::fopen(to.c_str(), "wb")) {}
    ~Files() {
        if (in) std::fclose(in);
        if (out) std::fclose(out);
    }
    bool ok() const { return in != nullptr && out != nullptr; }
};

template <class Rule>
void bytePass(const std::string& from, const std::string& to, Rule rule) {
    Files f(from, to);
    if (!f.ok()) return;
    for (int c; (c = std::fgetc(f.in)) != EOF;) std::fputc(rule(c), f.out);
}

void complementPass(const std::string& from, const std::string& to) {
    bytePass(from, to, [](int c) { return c ^ 0xFF; });
}
void xor2Pass(const std::string& from, const std::string& to) {
    bytePass(from, to, [](int c) { return c ^ 0x02; });
}
void copyPass(const std::string& from, const std::string& to) {
    bytePass(from, to, [](int c) { return c; });
}

void pairSwapPass(const std::string& from, const std::string& to) {
    Files f(from, to);
    if (!f.ok()) return;
    for (int first; (first = std::fgetc(f.in)) != EOF;) {
        const int second = std::fgetc(f.in);
        if (second == EOF) {
            std::fputc(first, f.out);
            break;
        }
        std::fputc(second, f.out);
        std::fputc(first, f.out);
    }
}

void reversalPass(const std::string& from, const std::string& to) {
    Files f(from, to);
    if (!f.ok()) return;
    std::fseek(f.in, -1, SEEK_END);
    for (long offset = -1;; --offset) {
        const int c = std::fgetc(f.in);
        if (c == EOF) break;
        std::fputc(c, f.out);
        if (std::fseek(f.in, offset - 1, SEEK_END) != 0) break;
    }
}

// The platform's whole-file copy.
void copyOver(const std::string& from, const std::string& to) {
    Files f(from, to);
    if (!f.ok()) return;
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f.in)) > 0;)
        std::fwrite(block, 1, n, f.out);
}

void remove(const std::string& path) {
    ::unlink(path.c_str());
}

}  // namespace

void baselineA(const BaselinePaths& p) {
    complementPass(p.source, p.work);
    copyOver(p.work, p.destination);
    remove(p.work);
}

void baselineC(const BaselinePaths& p) {
    pairSwapPass(p.source, p.work);
    copyOver(p.work, p.destination);
    remove(p.work);
}

void baselineLC(const BaselinePaths& p) {
    complementPass(p.source, p.work);
    pairSwapPass(p.work, p.destination);
    remove(p.work);
}

void baselineLCR(const BaselinePaths& p) {
    reversalPass(p.source, p.work);
    pairSwapPass(p.work, p.destination);
    remove(p.work);
}

void baselineLCB(const BaselinePaths& p) {
    pairSwapPass(p.source, p.work);
    copyPass(p.work, p.destination);
    copyOver(p.destination, p.work);
    remove(p.destination);
    xor2Pass(p.work, p.destination);
    remove(p.work);
}

void baselineLCRB(const BaselinePaths& p) {
    reversalPass(p.source, p.work);
    copyPass(p.work, p.destination);
    copyOver(p.destination, p.work);
    remove(p.destination);
    xor2Pass(p.work, p.destination);
    remove(p.work);
}

void baselineICLOL(const BaselinePaths& p) {
    pairSwapPass(p.source, p.work);
    copyPass(p.work, p.destination);
    copyOver(p.destination, p.work);
    remove(p.destination);
    xor2Pass(p.work, p.destination);
    copyOver(p.destination, p.work);
    remove(p.destination);
    copyPass(p.work, p.destination);
    remove(p.work);
}

void baselineVod32(const BaselinePaths& p, const std::string& key) {
    {
        Files f(p.source, p.work);
        if (!f.ok()) return;
        unsigned char buffer[256];
        key.copy(reinterpret_cast<char*>(buffer), key.size());
        std::size_t i = 0;
        for (int c; (c = std::fgetc(f.in)) != EOF;) {
            std::fputc(c ^ buffer[i], f.out);
            buffer[i] = static_cast<unsigned char>(buffer[i] + 57);
            if (++i == key.size()) i = 0;
        }
    }
    copyOver(p.work, p.destination);
    remove(p.work);
}

}  // namespace dozo::bench
