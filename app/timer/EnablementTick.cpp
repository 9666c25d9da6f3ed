#include "app/timer/EnablementTick.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/KeyedPanel.h"
#include "app/panels/PackagePanel.h"
#include "app/panels/TransformPanel.h"
#include "app/shell/LongRun.h"
#include "app/shell/MainMenu.h"
#include "app/shell/WindowState.h"

#include <QAbstractItemModel>
#include <QTimer>

namespace dozo {

EnablementTick::EnablementTick(const Window& window, QObject* parent)
    : QObject(parent), m_window(window) {
    setObjectName(QStringLiteral("EnablementTick"));
    window.timer->setSingleShot(true);
    connect(window.timer, &QTimer::timeout, this, &EnablementTick::tick);

    for (QLineEdit* field : {window.package->TFile, window.package->PASS})
        connect(field, &QLineEdit::textChanged, this, &EnablementTick::changed);
    // Only a count is read: insertions, removals and a reset are the changes
    // that move it.
    for (QListWidget* list : {window.transform->IFN, window.keyed->lstVov, window.archive->FL}) {
        const QAbstractItemModel* model = list->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, &EnablementTick::changed);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &EnablementTick::changed);
        connect(model, &QAbstractItemModel::modelReset, this, &EnablementTick::changed);
    }
    connect(&window.longRun, &LongRun::busyChanged, this, [this](bool busy) {
        if (busy) {
            m_window.timer->stop();
        } else {
            changed();
        }
    });
}

void EnablementTick::changed() {
    if (m_window.longRun.busy()) return;
    // Started once per burst: restarting on every change would put the
    // evaluation off for as long as the changes go on.
    if (!m_window.timer->isActive()) m_window.timer->start();
}

void EnablementTick::tick() {
    // The timer is stopped during a run; a timeout already queued when the
    // run began must not slip through either.
    if (m_window.longRun.busy()) return;
    apply(Enablement::compute(read()));
}

EnablementInputs EnablementTick::read() const {
    const WindowState& state = m_window.state;
    EnablementInputs in;
    in.TFile = m_window.package->TFile->text();
    in.PASS = m_window.package->PASS->text();
    in.IFNCount = m_window.transform->IFN->count();
    in.lstVovCount = m_window.keyed->lstVov->count();
    in.FLCount = m_window.archive->FL->count();
    in.LHAEx = state.LHAEx;
    in.RazuEx = state.RazuEx;
    in.VovEx = state.VovEx;
    return in;
}

void EnablementTick::apply(const EnabledStates& states) {
    PackagePanel* package = m_window.package;
    MainMenu& menu = m_window.menu;
    package->Enc->setEnabled(states.Enc);
    menu.mnuEncryption->setEnabled(states.mnuEncryption);
    package->LHAEnc->setEnabled(states.LHAEnc);
    menu.mnuLHAEnc->setEnabled(states.mnuLHAEnc);
    m_window.archive->cmdDevelop->setEnabled(states.cmdDevelop);
    m_window.transform->cmdEnc->setEnabled(states.cmdEnc);
    m_window.keyed->cmdVovEnc->setEnabled(states.cmdVovEnc);
    m_window.archive->cmdCompress->setEnabled(states.cmdCompress);
}

}  // namespace dozo
