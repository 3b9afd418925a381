#include "meter/lcd_state.h"

#include <array>

namespace {

constexpr std::array<std::string_view, kLcdElementCount> kNames{
    "LcdDc1",  "WEI",     "LCDHold", "LCDsend", "LCDBATT", "Labmax", "Labmin", "D4",    "D6",
    "D8",      "CYL",     "LCDFm",   "LCDDI",   "D",       "LCDBF",  "LCDCS",  "LCDFS", "Lcdm",
    "lcduu",   "LCDn",    "LcdV",    "LCDA",    "LCDF",    "LCDohm", "lcdhz",  "lcdkk", "LCDMM",
    "LcdAuto", "LcdManu", "DWL",     "LcdRPM",  "dd4",     "dd1",    "dd00",   "dd10",  "dd20",
    "LCDM1",   "LCDVV",   "LCDREL",  "LCDu",    "C2",      "C4",     "dd2"};

}  // namespace

std::string_view lcdElementName(LcdElement element) {
    const auto i = static_cast<std::size_t>(element);
    return i < kNames.size() ? kNames[i] : std::string_view{};
}
