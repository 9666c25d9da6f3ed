// The state the main window shares with its panels. The names are the ones
// every panel uses, so they stay short and upper-case.
#pragma once

#include "core/startup/StartUp.h"

#include <QString>
#include <cstdint>

namespace dozo {

inline constexpr std::uint8_t kPresent = 255;
inline constexpr std::uint8_t kAbsent = 0;

struct WindowState {
    QString TFN;                // target of the package panel
    QString EFN;                // executable written by the package panel
    QString SFN;                // archive written by the package panel
    QString SysDir;             // system directory, always ending in "/"
    std::int32_t UNLHAVer = 0;  // 0 while the archiver is absent
    QString UNLHAV;
    std::int32_t RazuVer = 0;
    QString RazuV;
    std::int32_t VovVer = 0;
    QString VovV;
    // Presence flags hold exactly 255 or 0; the enablement rules compare with 255.
    std::uint8_t LHAEx = 0;
    std::uint8_t RazuEx = 0;
    std::uint8_t VovEx = 0;
    std::uint8_t ET = 0;
    std::uint8_t ETVov = 0;

    // Start-up's findings as the window keeps them: versions, their texts
    // and the presence flags.
    void take(const FoundLibraries& found) {
        LHAEx = found.archiver.present ? kPresent : kAbsent;
        UNLHAVer = found.archiver.version;
        UNLHAV = found.archiver.versionText;
        RazuEx = found.transform.present ? kPresent : kAbsent;
        RazuVer = found.transform.version;
        RazuV = found.transform.versionText;
        VovEx = found.keyed.present ? kPresent : kAbsent;
        VovVer = found.keyed.version;
        VovV = found.keyed.versionText;
    }
};

}  // namespace dozo
