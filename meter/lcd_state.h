#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "meter/fixed_text.h"

// Every element of the meter's LCD that a frame can light or that the LCD keeps dark. The four
// digits, the three decimal points and the minus sign are not here: LcdState carries them as
// digit texts, `point` and `minus`.
enum class LcdElement : std::uint8_t {
    LcdDc1,   // mode caption ("DC", "DCV", "ACV", "DCA", "ACA")
    WEI,      // high voltage (red lightning bolt)
    LCDHold,  // HOLD
    LCDsend,  // frame mark: a monitor with a letter S, lit from the first decoded frame on
    LCDBATT,  // low battery
    Labmax,   // MAX
    Labmin,   // MIN
    D4,       // "4" of 4CYL
    D6,       // "6"
    D8,       // "8"
    CYL,      // "CYL"
    LCDFm,    // continuity
    LCDDI,    // diode
    D,        // dwell angle with a degree sign
    LCDBF,    // percent
    LCDCS,    // degrees Celsius
    LCDFS,    // degrees Fahrenheit
    Lcdm,     // milli
    lcduu,    // micro
    LCDn,     // nano
    LcdV,     // V
    LCDA,     // A
    LCDF,     // F
    LCDohm,   // ohm
    lcdhz,    // Hz
    lcdkk,    // kilo
    LCDMM,    // mega
    LcdAuto,  // AUTO
    LcdManu,  // MANU
    DWL,      // "DWL"
    LcdRPM,   // "RPM×10"
    dd4,      // range indicator "4"
    dd1,      // range indicator "1"
    dd00,     // range indicator "0" (first)
    dd10,     // range indicator "0" (second)
    dd20,     // range indicator "0" (third)
    LCDM1,    // range indicator small "m"
    LCDVV,    // range indicator small "v"
    // Elements the decoder never lights; they exist so the LCD can keep them dark.
    LCDREL,
    LCDu,
    C2,
    C4,
    dd2,
    Count
};

inline constexpr std::size_t kLcdElementCount = static_cast<std::size_t>(LcdElement::Count);
using LcdElementSet = std::bitset<kLcdElementCount>;

// The element's name as the meter's form calls it ("LcdDc1", "WEI", ...).
std::string_view lcdElementName(LcdElement element);

// The display record the decoder fills for every frame and the virtual LCD draws.
struct LcdState {
    std::array<FixedText<2>, 4> digits{"3", "9", "9", "9"};  // LcdDa .. LcdDd
    bool minus = false;                                      // LcdFH
    int point = 0;                   // 0 none, 1..3: LcdP1 (after digit 1) .. LcdP3
    FixedText<4> modeCaption{"DC"};  // LcdDc1's caption; carries over between frames
    LcdElementSet lit;               // lit annunciators, unit signs and range marks
    FixedText<32> timeText;          // "hh : nn : ss     mm - dd - yyyy" for the label d_t

    bool isLit(LcdElement e) const { return lit.test(static_cast<std::size_t>(e)); }
    void light(LcdElement e) { lit.set(static_cast<std::size_t>(e)); }
};
