#pragma once

namespace unlha32 {

// Runs the settings dialog on the QApplication's thread and saves the choice.
// One of the UNLHA_* codes.
int showConfigDialog();

}  // namespace unlha32
