#include "meter/model_profile.h"

ProfileSettings applyProfile(const ProfileSwitches& switches) {
    ProfileSettings s;
    if (switches.IFPelmark) {
        s.receiveHandler = ReceiveHandler::PelmarkDATA;
        s.title = "Pelmark Interface Program _Ver: 1.00";
        s.countMode = findCountMode("22");
    }
    if (switches.Quiller) {
        s.receiveHandler = ReceiveHandler::QuillerData;
        s.title = "Dravik Interface Program _Ver: 1.00";
        s.countMode = findCountMode("22");
    }
    if (switches.Brannock) {
        s.preselectsCom1 = true;
        s.receiveHandler = ReceiveHandler::QuillerData;
        s.title = "Halvern Interface Program Ver2.00";
        s.countMode = findCountMode("4");
        s.hidHandler = true;
    }
    if (switches.IFMiskel) {
        s.receiveHandler = ReceiveHandler::TarrowData;
        // The Sombrel title is set and at once replaced: only the Ostrel title is ever seen.
        s.title = "Sombrel Interface Program _Ver: 1.00";
        s.title = "Ostrel Interface Program _Ver: 1.00";
    }
    return s;
}

std::string_view receiveHandlerName(ReceiveHandler handler) {
    switch (handler) {
        case ReceiveHandler::PelmarkDATA:
            return "PelmarkDATA";
        case ReceiveHandler::QuillerData:
            return "QuillerData";
        case ReceiveHandler::TarrowData:
            return "TarrowData";
        case ReceiveHandler::None:
            break;
    }
    return {};
}
