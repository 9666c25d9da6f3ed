#pragma once

#include <QByteArray>
#include <QString>

// A library of this build called directly, without the window, to compute
// the bytes a run must produce.
class DirectLibrary {
public:
    explicit DirectLibrary(const QString& name);
    ~DirectLibrary();
    DirectLibrary(const DirectLibrary&) = delete;
    DirectLibrary& operator=(const DirectLibrary&) = delete;

    void* symbol(const char* name) const;

    // `content` run through the transform `method` in a scratch folder.
    QByteArray transform(const char* method, const QByteArray& content) const;
    // `content` run through the keyed stream with the key bytes given.
    QByteArray keyed(const QByteArray& key, const QByteArray& content) const;

private:
    void* m_handle = nullptr;
};
