// Identity of the application: the title every message box carries and the
// version shown in the caption.
#pragma once

namespace dozo {

inline constexpr const char* kAppTitle = "Vuvurazir";
inline constexpr int kVersionMajor = DOZO_VERSION_MAJOR;
inline constexpr int kVersionMinor = DOZO_VERSION_MINOR;
inline constexpr int kVersionRevision = DOZO_VERSION_PATCH;

}  // namespace dozo
