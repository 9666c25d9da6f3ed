#pragma once

#include "app/shell/UiServices.h"

#include <QStringList>

namespace dozo {

// The programs the system information button starts, in order of
// preference: those that describe the machine first, then the system
// monitors of the common desktops. Linux records no such program anywhere,
// so the first one found on PATH is the one.
QStringList systemInfoPrograms();

// Starts the system information program without waiting for it. Every
// failure (no program found, a start that fails) ends in the one message
// "現時点ではｼｽﾃﾑ情報を使用できません"; true when the program started.
bool StartSysInfo(UiServices& ui);

}  // namespace dozo
