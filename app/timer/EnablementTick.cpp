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
    connect(window.timer, &QTimer::timeout, this, &EnablementTick::tick);
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
