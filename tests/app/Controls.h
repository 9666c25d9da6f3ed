#pragma once

#include <gtest/gtest.h>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>

// The one control named `name` under `root` (a window, a panel, a dialog),
// found by its object name as every test reaches controls; nullptr, and a
// failed expectation, when there is not exactly one of that kind.
template <typename T = QWidget>
T* control(const QWidget& root, const QString& name) {
    const QList<T*> found = root.findChildren<T*>(name);
    EXPECT_EQ(found.size(), 1) << name.toStdString();
    return found.isEmpty() ? nullptr : found.front();
}

// The texts of a list's entries, top to bottom.
inline QStringList entries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts.append(list->item(i)->text());
    return texts;
}
