#pragma once

#include <string>

#include "meter/lcd_state.h"

// The meter's LCD as the broker's state message, one JSON object:
//   {"display":"-12.34","unit":"mV","mode":"DCV","range":"400mv","annunciators":["AUTO","HOLD"]}
// display: the digits as shown, with "-" when the minus is lit and "." for the lit point; blank
//   digits left out, the overload's glyph as "L" ("0.L"), the open input as shown ("o.pen");
// unit: the lit unit signs, prefix first ("V", "mV", "kΩ", "nF", "MHz", "°C", "A");
// mode: the mode caption when it is lit ("DCV", "ACV", "DCA", "ACA"), else "";
// range: the small range indicator under the digits as it reads ("4v", "400mv", "1000v"), else "";
// annunciators: the other lit signs by name, in the LCD's order: "HIGH_VOLTAGE", "HOLD",
//   "LOW_BATTERY", "MAX", "MIN", "CONTINUITY", "DIODE", "AUTO", "MANU", "DWL", "RPMx10", and
//   "4CYL", "6CYL", "8CYL" (or "CYL") for the cylinders.
// The frame mark (lit on every frame) is left out: it says nothing of the reading.
// Appends to out; allocates nothing once out has room. Never fails.
void appendLcdStateJson(const LcdState& state, std::string& out);
