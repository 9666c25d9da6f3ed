#include "app/dialogs/SysInfo.h"

#include "app/shell/HelperProgram.h"
#include "core/startup/AppInfo.h"

namespace dozo {

QStringList systemInfoPrograms() {
    return {QStringLiteral("hardinfo2"),           QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),         QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"), QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("xfce4-taskmanager"),   QStringLiteral("lxtask")};
}

bool StartSysInfo(UiServices& ui) {
    // Looked up at each click: a monitor installed meanwhile is found.
    const QString program = findHelperProgram(systemInfoPrograms());
    if (!program.isEmpty() && ui.startProgram(program)) return true;
    ui.messageBox(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"),
                  QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok, UiServices::Icon::None);
    return false;
}

}  // namespace dozo
