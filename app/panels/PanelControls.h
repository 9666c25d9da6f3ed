#pragma once

#include "app/shell/LongRun.h"
#include "app/shell/UiServices.h"
#include "core/jobs/JobControl.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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

// A panel's progress bar as every panel makes it: range 0 to 100, value 0,
// no text.
QProgressBar* progressBar(const char* name, QWidget* parent);

// The button that cancels a panel's run, hidden until a run shows it
// (LongRun::Cancel), and the row that puts it after `bar`: the bar keeps the
// whole width while the button is hidden. `insideAFile`: the panel's run
// stops inside a file too (packing, unpacking, packaging), not only between
// files; its tool tip says which.
QPushButton* cancelButton(const char* name, QWidget* parent, bool insideAFile = false);
QHBoxLayout* progressRow(QProgressBar* bar, QPushButton* cancel);

// Whether to go on when `archive` is to be packed into: true when there is
// no such file, else the user's answer to whether to add to it. An update
// keeps every other file the archive holds, which a user who took the
// archive for a new one would hand on unawares.
bool mayAddTo(UiServices& ui, const QString& archive);

// A job's reports shown on `bar` from the worker thread: the bar's maximum
// is the total (scaled down when it does not fit an int), and only a change
// of the shown value reaches the window.
JobControl::Report barReport(QProgressBar* bar, const LongRun::Progress& progress);

}  // namespace dozo::panel_controls
