#include "app/dialogs/SysInfo.h"

#include "app/dialogs/GetKeyValue.h"
#include "core/startup/AppInfo.h"

#include <QFileInfo>

namespace dozo {

bool StartSysInfo(const KeyValueStore& store, UiServices& ui) {
    QString program;
    if (!GetKeyValue(store, KeyValueStore::kLocalMachine, QString::fromLatin1(kMsInfoKey),
                     QString::fromLatin1(kMsInfoPathValue), program)) {
        QString folder;
        if (GetKeyValue(store, KeyValueStore::kLocalMachine,
                        QString::fromLatin1(kSharedToolsLocationKey),
                        QString::fromLatin1(kMsInfoFolderValue), folder)) {
            const QString candidate = folder + QLatin1Char('/') + QLatin1String(kMsInfoProgram);
            if (QFileInfo(candidate).isFile()) program = candidate;
        }
    }
    // A recorded value of another type leaves the path empty: there is
    // nothing to start, which is the same failure as a start that fails.
    if (!program.isEmpty() && ui.startProgram(program)) return true;
    ui.messageBox(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"),
                  QString::fromLatin1(kAppTitle), UiServices::Buttons::Ok, UiServices::Icon::None);
    return false;
}

}  // namespace dozo
