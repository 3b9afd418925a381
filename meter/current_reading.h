#pragma once

#include <array>

#include "meter/fixed_text.h"

// The reading the decoder leaves for the other rooms after each frame. All texts are 8-bit
// and may hold the meter's glyph characters ("*" ohm, "#" degC, "?" degF, ")" diode, "<" dwell).
struct CurrentReading {
    FixedText<32> valueText;      // as displayed: sign, digits, decimal separator
    FixedText<8> functionText;    // "DCV", "ACmA", "OHM", "CAP", ...; emptied every frame
    FixedText<8> unitText;        // "V", "mV", "K *", "nF", ...; emptied every frame
    FixedText<12> rangeText;      // "4 V", "400 mv", ...; carries over when a frame sets none
    FixedText<4> autoManualText;  // "Auto", "Manu" or empty; emptied every frame
    float nval = 0.0f;            // signed display count; overload +-(full scale + 1), open 0
    FixedText<1> signText;        // "-" or empty
    std::array<FixedText<2>, 4> digits;  // D1..D4 after the overload and "open" rules
};
