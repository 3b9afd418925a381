#pragma once

#include <optional>
#include <string_view>

#include "meter/count_mode.h"

// The four hidden profile switches, read once at start-up. This build serves the Brannock meter.
struct ProfileSwitches {
    bool IFPelmark = false;
    bool Quiller = false;
    bool Brannock = true;
    bool IFMiskel = false;
};

// Which frame handler receives the serial driver's bytes.
enum class ReceiveHandler { None, PelmarkDATA, QuillerData, TarrowData };

// What the switches configure. Switches are applied in the order IFPelmark, Quiller, Brannock,
// IFMiskel; each switch that is on overwrites what the earlier ones set.
struct ProfileSettings {
    ReceiveHandler receiveHandler = ReceiveHandler::None;  // None: the driver keeps no handler
    std::optional<std::string_view> title;                 // nullopt: the stored title stays
    // The count mode whose whole row (limits, edit texts, captions, bar maximum) is applied;
    // nullptr when no switch chose one: the default "4" then stays, scale and limits only.
    const CountMode* countMode = nullptr;
    bool preselectsCom1 = false;  // select the first serial port and show its panel
    bool hidHandler = false;      // the HID cable's "USB Connect" installs HidReportData

    // The scale and limits in effect after start-up: the chosen mode, else the default.
    const CountMode& effectiveCountMode() const {
        return countMode != nullptr ? *countMode : defaultCountMode();
    }
};

// Applies the switches in their order of precedence. Never fails.
ProfileSettings applyProfile(const ProfileSwitches& switches);

// The frame handler's name as the window publishes it ("QuillerData", ...; "" for None).
std::string_view receiveHandlerName(ReceiveHandler handler);
