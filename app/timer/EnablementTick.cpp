#include "EnablementTick.h"

#include "../panels/ArchivePanel.h"
#include "../panels/KeyedPanel.h"
#include "../panels/PackagePanel.h"
#include "../panels/TransformPanel.h"
#include "frmMain.h"

namespace dozo {

EnablementTick::EnablementTick(frmMain& window) : QObject(&window), m_window(window) {
    setObjectName(QStringLiteral("EnablementTick"));
    connect(window.Tmr(), &QTimer::timeout, this, &EnablementTick::tick);
}

void EnablementTick::tick() {
    // The timer is stopped during a run; a timeout already queued when the
    // run began must not slip through either.
    if (m_window.longRun().busy()) return;
    apply(Enablement::compute(read()));
}

EnablementInputs EnablementTick::read() const {
    const WindowState& state = m_window.state();
    EnablementInputs in;
    in.TFile = m_window.packagePanel()->TFile->text();
    in.PASS = m_window.packagePanel()->PASS->text();
    in.IFNCount = m_window.transformPanel()->IFN->count();
    in.lstVovCount = m_window.keyedPanel()->lstVov->count();
    in.FLCount = m_window.archivePanel()->FL->count();
    in.LHAEx = state.LHAEx;
    in.RazuEx = state.RazuEx;
    in.VovEx = state.VovEx;
    return in;
}

void EnablementTick::apply(const EnabledStates& states) {
    PackagePanel* package = m_window.packagePanel();
    MainMenu& menu = m_window.menu();
    package->Enc->setEnabled(states.Enc);
    menu.mnuEncryption->setEnabled(states.mnuEncryption);
    package->LHAEnc->setEnabled(states.LHAEnc);
    menu.mnuLHAEnc->setEnabled(states.mnuLHAEnc);
    m_window.archivePanel()->cmdDevelop->setEnabled(states.cmdDevelop);
    m_window.transformPanel()->cmdEnc->setEnabled(states.cmdEnc);
    m_window.keyedPanel()->cmdVovEnc->setEnabled(states.cmdVovEnc);
    m_window.archivePanel()->cmdCompress->setEnabled(states.cmdCompress);
}

}  // namespace dozo
