#include "app/timer/Enablement.h"

#include "app/shell/WindowState.h"

namespace dozo {

namespace {

bool isSpace(QChar c) {
    return c == QChar(u' ') || c == QChar(u'\u3000');
}

}  // namespace

bool Enablement::isBlank(const QString& text) {
    for (QChar c : text) {
        if (!isSpace(c)) return false;
    }
    return true;
}

EnabledStates Enablement::compute(const EnablementInputs& in) {
    const bool targetGiven = !isBlank(in.TFile);
    const bool passwordGiven = !isBlank(in.PASS);
    const bool archiverPresent = in.LHAEx == kPresent;
    const bool transformPresent = in.RazuEx == kPresent;
    const bool keyedPresent = in.VovEx == kPresent;
    const bool transformListFilled = in.IFNCount > 0;
    const bool keyedListFilled = in.lstVovCount > 0;
    const bool archiveListFilled = in.FLCount > 0;

    EnabledStates out;
    out.Enc = targetGiven && passwordGiven;
    out.mnuEncryption = out.Enc;
    out.LHAEnc = targetGiven && archiverPresent && passwordGiven;
    out.mnuLHAEnc = out.LHAEnc;
    out.cmdDevelop = archiverPresent;
    out.cmdEnc = transformPresent && transformListFilled;
    out.cmdVovEnc = keyedPresent && keyedListFilled;
    out.cmdCompress = archiverPresent && archiveListFilled;
    return out;
}

}  // namespace dozo
