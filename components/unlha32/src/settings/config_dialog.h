#pragma once

// The settings dialog lives in a library of its own, libunlha32_settings.so,
// the only one of the archiver that links Qt's GUI: libunlha32 loads it from
// its own folder when UnlhaConfigDialog is called, so packing, extracting and
// listing never map Qt's GUI libraries into the caller's process.

namespace unlha32 {

inline constexpr const char* kDialogLibrary = "libunlha32_settings.so";

// The dialog library's one export: runs the dialog on the QApplication's
// thread and saves the choice. One of the UNLHA_* codes.
inline constexpr const char* kDialogEntry = "UnlhaSettingsDialog";
using DialogEntry = int();

// Loads the dialog library (kDialogLibrary beside libunlha32 itself) and runs
// its entry; UNLHA_ERROR_NO_DIALOG when it is missing or cannot be loaded.
int showConfigDialog();

}  // namespace unlha32
