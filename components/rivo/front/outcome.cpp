#include "outcome.h"

#include "messages.h"

namespace dozo::rivo {

ExitCode report(Unsealed result, const std::string& package) {
    switch (result) {
        case Unsealed::ok:
            return kExitOk;
        case Unsealed::readFailed:
            say(stderr, text(Msg::readFailed), package.c_str(), lastError().c_str());
            return kExitIo;
        case Unsealed::noMemory:
            say(stderr, "%s", text(Msg::noMemory));
            return kExitIo;
        case Unsealed::sinkFailed:
            return kExitIo;  // the front said what it could not write
        case Unsealed::wrongPassword:
            say(stderr, "%s", text(Msg::wrongPassword));
            return kExitWrongPassword;
        case Unsealed::notPackage:
            say(stderr, text(Msg::notPackage), package.c_str());
            break;
        case Unsealed::extraData:
            say(stderr, text(Msg::extraData), package.c_str());
            break;
        case Unsealed::unsupported:
            say(stderr, "%s", text(Msg::unsupported));
            break;
        case Unsealed::costTooHigh:
            say(stderr, "%s", text(Msg::costTooHigh));
            break;
        case Unsealed::damaged:
            say(stderr, "%s", text(Msg::damaged));
            break;
    }
    return kExitDamaged;
}

}  // namespace dozo::rivo
