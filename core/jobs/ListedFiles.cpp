#include "core/jobs/ListedFiles.h"

#include "core/text/Reasons.h"

#include <QFileInfo>
#include <QSet>

namespace dozo {

ListedFiles::ListedFiles(QList<Entry> entries) : m_entries(std::move(entries)) {
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (QFileInfo(m_entries[i].path).isDir())
            m_folders.append(
                {static_cast<int>(i), m_entries[i].path, FolderWalk::of(m_entries[i].path)});
    }
}

QList<ListedFiles::Entry> ListedFiles::plain(const QStringList& paths) {
    QList<Entry> entries;
    entries.reserve(paths.size());
    for (const QString& path : paths) entries.append({path});
    return entries;
}

ListedFiles::Files ListedFiles::files() const {
    Files files;
    qsizetype folder = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries[i];
        if (folder < m_folders.size() && m_folders[folder].entry == i) {
            const Folder& f = m_folders[folder++];
            if (!f.taken) continue;
            files.paths.append(f.walk.files);
            files.sizes.append(f.walk.sizes);
            for (qsizetype k = 0; k < f.walk.files.size(); ++k) {
                files.entries.append(static_cast<int>(i));
                files.walked.insert(f.walk.files[k], f.walk.identities[k]);
            }
            continue;
        }
        files.paths.append(entry.path);
        const QFileInfo info(entry.path);
        files.sizes.append(info.isFile() ? info.size() : 0);
        files.entries.append(static_cast<int>(i));
        if (entry.walked) files.walked.insert(entry.path, *entry.walked);
    }
    return files;
}

qsizetype ListedFiles::count() const {
    qsizetype count = m_entries.size() - m_folders.size();
    for (const Folder& folder : m_folders) count += folder.taken ? folder.walk.files.size() : 0;
    return count;
}

int ListedFiles::skipped() const {
    int skipped = 0;
    for (const Folder& folder : m_folders) skipped += folder.taken ? folder.walk.skipped : 0;
    return skipped;
}

void ListedFiles::addTo(BatchOutcome& outcome) const {
    for (const Folder& folder : m_folders) {
        if (!folder.taken) {
            outcome.addDeclined(folder.path);
            continue;
        }
        for (const QString& path : folder.walk.unreadable)
            outcome.addUnreached(path, Reasons::unreadableFolder(), false);
        for (const QString& shown : folder.walk.unnamed)
            outcome.addUnreached(shown, Reasons::nameNotUtf8(), true);
    }
}

QList<ListedFiles::Entry> ListedFiles::afterStop(const BatchOutcome& outcome) const {
    const Files files = this->files();
    const QSet<int> unfinished(outcome.unfinished().cbegin(), outcome.unfinished().cend());
    // Per entry: its files, and those of them still to do.
    QList<QList<int>> all(m_entries.size()), left(m_entries.size());
    for (qsizetype k = 0; k < files.paths.size(); ++k) {
        all[files.entries[k]].append(static_cast<int>(k));
        if (unfinished.contains(static_cast<int>(k))) left[files.entries[k]].append(int(k));
    }
    QList<Entry> kept;
    qsizetype folder = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const bool isFolder = folder < m_folders.size() && m_folders[folder].entry == i;
        const Folder* f = isFolder ? &m_folders[folder++] : nullptr;
        // Not taken, or not started: the entry as it was.
        if ((f && !f->taken) || left[i].size() == all[i].size()) {
            if (f || !all[i].isEmpty()) kept.append(m_entries[i]);
            continue;
        }
        if (!f) continue;  // its one file is done
        for (int k : left[i]) kept.append({files.paths[k], files.walked.value(files.paths[k])});
        // A folder the walk could not read is walked again by the next run.
        for (const QString& unreadable : f->walk.unreadable) kept.append({unreadable});
    }
    return kept;
}

}  // namespace dozo
