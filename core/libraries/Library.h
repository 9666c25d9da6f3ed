#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <mutex>

namespace dozo {

// One library of ours or a component, bound by its bare name ("Rozu32" is the
// file libRozu32.so). It is loaded at the first lookup of an export, from the
// first of the search folders that holds the file, always by its absolute
// path. A library in none of them is missing: the dynamic loader's own search
// (LD_LIBRARY_PATH, whose empty entry is the current folder) is never asked,
// and a relative search folder is skipped.
// A file that cannot be loaded, or lacks an export, makes the lookup fail;
// errorText() says why (nothing is printed), and it never ends the program.
class Library {
public:
    Library(QString name, QStringList searchFolders);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    static QString fileNameFor(const QString& name);

    const QString& name() const { return m_name; }
    QString fileName() const { return fileNameFor(m_name); }

    // nullptr when the library or the export is missing. Safe to call from
    // the worker thread of a long run. A missing export that is not
    // `required` (one the library may lack and still serve) is no error.
    void* symbol(const char* exportName, bool required = true);

    template <typename Fn>
    Fn* function(const char* exportName, bool required = true) {
        return reinterpret_cast<Fn*>(symbol(exportName, required));
    }

    bool isLoaded() const;
    QString loadedPath() const;
    // Why the last lookup failed, in the current language; empty when none did.
    QString errorText() const;
    // The lookup found the file in none of the search folders.
    bool isMissing() const;

private:
    bool loadLocked();
    void fail(const QString& reason);

    QString m_name;
    QStringList m_searchFolders;
    mutable std::mutex m_mutex;
    void* m_handle = nullptr;
    bool m_loadTried = false;
    QString m_loadedPath;
    QString m_error;
    bool m_missing = false;
    QHash<QByteArray, void*> m_symbols;
};

}  // namespace dozo
