// versions: what the window's version boxes show, and where each library is.
#include "cli/Commands.h"
#include "cli/Session.h"
#include "core/text/Language.h"

#include "core/startup/StartUp.h"
#include "core/startup/VersionBox.h"

#include <dozo/contracts/rivo.h>

#include <QDir>

namespace dozo::cli {

int runVersions(const Arguments& args, Report& report) {
    if (!args.operands().isEmpty() || !args.misuse({}).isEmpty())
        return usageError(report,
                          say("versions は引数を取りません。", "versions takes no operands"));
    Session session;
    const FoundLibraries& found = session.found();
    struct Row {
        Library& library;
        FoundLibrary found;
        std::optional<VersionBox::Library> box;
    };
    Row rows[] = {
        {session.libraries().unlha32(), found.archiver, VersionBox::Library::Unlha32},
        {session.libraries().rozu32(), found.transform, VersionBox::Library::Rozu32},
        {session.libraries().vod32(), found.keyed, VersionBox::Library::Vod32},
        // The package library has no version query; found is all there is to say.
        {session.libraries().rivo(),
         {session.libraries().rivo().symbol(contracts::kRivo) != nullptr, 0, {}},
         std::nullopt},
    };
    int missing = 0;
    for (const Row& row : rows) {
        if (!row.found.present) {
            ++missing;
            report.result(
                QStringLiteral("%1\t%2").arg(row.library.name(), say("見つかりません", "missing")));
            continue;
        }
        const QString text =
            row.box ? VersionBox::of(*row.box, row.found.versionText).text : row.library.name();
        report.result(
            QStringLiteral("%1\t%2\t%3")
                .arg(row.library.name(), QDir::toNativeSeparators(row.library.loadedPath()), text));
    }
    if (missing > 0) {
        report.note(say("検索先: %1", "looked in %1").arg(session.searched()));
    }
    return missing == 0 ? kExitOk : kExitFailed;
}

}  // namespace dozo::cli
