#pragma once

#include <QString>
#include <cstdint>

namespace dozo {

// What one enablement tick reads: the two text fields of the package panel,
// the counts of the three lists and the presence flags of the libraries.
struct EnablementInputs {
    QString TFile;
    QString PASS;
    int IFNCount = 0;
    int lstVovCount = 0;
    int FLCount = 0;
    std::uint8_t LHAEx = 0;
    std::uint8_t RazuEx = 0;
    std::uint8_t VovEx = 0;
};

// The eight enabled states a tick writes, every one on every tick.
struct EnabledStates {
    bool Enc = false;
    bool mnuEncryption = false;
    bool LHAEnc = false;
    bool mnuLHAEnc = false;
    bool cmdDevelop = false;
    bool cmdEnc = false;
    bool cmdVovEnc = false;
    bool cmdCompress = false;

    bool operator==(const EnabledStates&) const = default;
};

// The enablement rules, free of widgets.
class Enablement {
public:
    // Empty once spaces are cut from both ends. The full-width space U+3000
    // counts as a space here: a password of nothing but a full-width space
    // is as accidental as one of ordinary spaces, and a Japanese input
    // method types one as easily. A tab is content.
    static bool isBlank(const QString& text);

    static EnabledStates compute(const EnablementInputs& in);
};

}  // namespace dozo
