#include "net/lcd_state_message.h"

#include <string_view>

#include "recording/glyph_symbols.h"

namespace {

struct Sign {
    LcdElement element;
    std::string_view text;
};

// The unit signs in the order they read: the prefix, then the unit.
constexpr Sign kUnitSigns[] = {
    {LcdElement::Lcdm, "m"},   {LcdElement::lcduu, "\u00B5"},  {LcdElement::LCDn, "n"},
    {LcdElement::lcdkk, "k"},  {LcdElement::LCDMM, "M"},       {LcdElement::LcdV, "V"},
    {LcdElement::LCDA, "A"},   {LcdElement::LCDF, "F"},        {LcdElement::LCDohm, "\u03A9"},
    {LcdElement::lcdhz, "Hz"}, {LcdElement::LCDCS, "\u00B0C"}, {LcdElement::LCDFS, "\u00B0F"},
    {LcdElement::D, "\u00B0"}, {LcdElement::LCDBF, "%"},
};

// The range indicator, left to right.
constexpr Sign kRangeSigns[] = {
    {LcdElement::dd4, "4"},   {LcdElement::dd1, "1"},  {LcdElement::dd00, "0"},
    {LcdElement::dd10, "0"},  {LcdElement::dd20, "0"}, {LcdElement::LCDM1, "m"},
    {LcdElement::LCDVV, "v"},
};

constexpr Sign kAnnunciators[] = {
    {LcdElement::WEI, "HIGH_VOLTAGE"},    {LcdElement::LCDHold, "HOLD"},
    {LcdElement::LCDBATT, "LOW_BATTERY"}, {LcdElement::Labmax, "MAX"},
    {LcdElement::Labmin, "MIN"},          {LcdElement::LCDFm, "CONTINUITY"},
    {LcdElement::LCDDI, "DIODE"},         {LcdElement::LcdAuto, "AUTO"},
    {LcdElement::LcdManu, "MANU"},        {LcdElement::DWL, "DWL"},
    {LcdElement::LcdRPM, "RPMx10"},
};

void appendName(std::string& out, bool& first, std::string_view name) {
    out += first ? "\"" : ",\"";
    first = false;
    out += name;
    out += '"';
}

}  // namespace

void appendLcdStateJson(const LcdState& state, std::string& out) {
    out += "{\"display\":\"";
    if (state.minus) {
        out += '-';
    }
    for (std::size_t i = 0; i < state.digits.size(); ++i) {
        for (const char c : state.digits[i].view()) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (c > ' ' && c < 0x7F) {
                // Blanks are unlit digits; glyph characters show as their symbols ("@" the L).
                const std::string_view symbol = glyphSymbol(c);
                if (symbol.empty()) {
                    out += c;
                } else {
                    out += symbol;
                }
            }
        }
        if (state.point == static_cast<int>(i) + 1) {
            out += '.';
        }
    }
    out += "\",\"unit\":\"";
    for (const Sign& s : kUnitSigns) {
        if (state.isLit(s.element)) {
            out += s.text;
        }
    }
    out += "\",\"mode\":\"";
    if (state.isLit(LcdElement::LcdDc1)) {
        out += state.modeCaption.view();
    }
    out += "\",\"range\":\"";
    for (const Sign& s : kRangeSigns) {
        if (state.isLit(s.element)) {
            out += s.text;
        }
    }
    out += "\",\"annunciators\":[";
    bool first = true;
    for (const Sign& s : kAnnunciators) {
        if (state.isLit(s.element)) {
            appendName(out, first, s.text);
        }
    }
    if (state.isLit(LcdElement::CYL)) {
        out += first ? "\"" : ",\"";
        first = false;
        out += state.isLit(LcdElement::D4)   ? "4"
               : state.isLit(LcdElement::D6) ? "6"
               : state.isLit(LcdElement::D8) ? "8"
                                             : "";
        out += "CYL\"";
    }
    out += "]}";
}
