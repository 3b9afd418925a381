#pragma once

#include <array>
#include <string_view>

// Every function text and every range text the frame decoder can put into CurrentReading, as
// stored (glyph characters included). The table's grid sizes its columns by them; a test
// decodes every function and range code and holds the decoder to these lists.
inline constexpr std::array<std::string_view, 17> kDecoderFunctionTexts = {
    "DCV",  "ACV", "DCmv", "OHM", "CTN", "CAP", "DCmA", "ACmA", "DCuA",
    "ACuA", "DCA", "ACA",  "RPM", "DWL", "FRQ", "TMP",  ")"};

inline constexpr std::array<std::string_view, 36> kDecoderRangeTexts = {
    "4 V",    "40 V",   "400 V", "1000 V", "4v",    "400 mv", "40 mv",  "400 *",   "4k *",
    "40 k *", "400k *", "4M *",  "40 M *", "400",   "10 nF",  "100 nF", "1000 nF", "10 uF",
    "100 uF", "40 mA",  "40mA",  "400 mA", "400mA", "400uA",  "4000uA", "4A",      "10A",
    "4CYL",   "6CYL",   "8CYL",  "40Hz",   "400Hz", "4kHz",   "40kHz",  "400kHz",  "4MHz"};
