#include "app/panels/PanelControls.h"

#include <QPalette>

namespace dozo::panel_controls {

QLabel* buddyLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = named(new QLabel(caption, parent), name);
    label->setBuddy(buddy);
    return label;
}

QFrame* etchedLine(const char* name, bool shadow, QWidget* parent) {
    auto* line = named(new QFrame(parent), name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    line->setFixedHeight(1);
    line->setForegroundRole(shadow ? QPalette::Dark : QPalette::Light);
    return line;
}

}  // namespace dozo::panel_controls
