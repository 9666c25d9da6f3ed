#pragma once

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

namespace dozo::panel_controls {

// Every control of the panels is found by its object name, which is the
// control's own name; arrays of controls are named <name>_<index>.
template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A label whose access key moves the focus to `buddy`.
QLabel* buddyLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent);

// One of the two lines of an etched separator: the upper one in the shadow
// colour, the lower one in the highlight colour.
QFrame* etchedLine(const char* name, bool shadow, QWidget* parent);

// Masks a password or key field and puts a show/hide toggle inside it, at
// its end. The toggle is a QAction named `toggleName`, checked while the text
// is shown; it follows the field's enablement, since it is part of the field.
QAction* maskSecret(QLineEdit* field, const char* toggleName);

}  // namespace dozo::panel_controls
