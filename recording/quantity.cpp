#include "recording/quantity.h"

#include <array>
#include <charconv>

namespace {

struct QuantityRow {
    std::string_view function;  // the decoder's function text
    std::string_view unit;      // its unit text, glyph characters as stored
    std::string_view quantity;
    std::string_view siUnit;
    int exponent;  // the unit's power of ten
};

// Every function and unit text pair the decoder gives, and what it measures.
constexpr std::array<QuantityRow, 24> kQuantityTable{{
    {"DCV", "V", "voltage_dc", "V", 0},        {"ACV", "V", "voltage_ac", "V", 0},
    {"DCmv", "mV", "voltage_dc", "V", -3},     {"TMP", "#", "temperature", "\u00B0C", 0},
    {"TMP", "?", "temperature", "\u00B0F", 0}, {"OHM", "*", "resistance", "\u03A9", 0},
    {"OHM", "K *", "resistance", "\u03A9", 3}, {"OHM", "M *", "resistance", "\u03A9", 6},
    {"CTN", "", "continuity", "\u03A9", 0},    {"CAP", "nF", "capacitance", "F", -9},
    {"CAP", "uF", "capacitance", "F", -6},     {")", "v", "diode", "V", 0},
    {"DCmA", "mA", "current_dc", "A", -3},     {"ACmA", "mA", "current_ac", "A", -3},
    {"DCuA", "uA", "current_dc", "A", -6},     {"ACuA", "uA", "current_ac", "A", -6},
    {"DCA", "A", "current_dc", "A", 0},        {"ACA", "A", "current_ac", "A", 0},
    {"RPM", "", "engine_speed", "rpm", 0},     {"DWL", "<", "dwell", "\u00B0", 0},
    {"DWL", "", "dwell", "\u00B0", 0},  // a range code beyond 8 cylinders shows no unit sign
    {"FRQ", "Hz", "frequency", "Hz", 0},       {"FRQ", "kHz", "frequency", "Hz", 3},
    {"FRQ", "MHz", "frequency", "Hz", 6},
}};

// 10^0 .. 10^22 are exact doubles, so one multiplication or division by them rounds correctly.
constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::int64_t kExactDigits = std::int64_t{1} << 53;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isSeparator(char c) {
    return c == '.' || c == ',';
}

}  // namespace

std::string_view readingFlagText(ReadingFlag flag) {
    switch (flag) {
        case ReadingFlag::None:
            return "";
        case ReadingFlag::Overload:
            return "OL";
        case ReadingFlag::NegativeOverload:
            return "-OL";
        case ReadingFlag::Open:
            return "open";
        case ReadingFlag::Invalid:
            return "invalid";
    }
    return "invalid";
}

std::optional<ReadingFlag> readingFlagOfText(std::string_view text) {
    for (const ReadingFlag f :
         {ReadingFlag::None, ReadingFlag::Overload, ReadingFlag::NegativeOverload,
          ReadingFlag::Open, ReadingFlag::Invalid}) {
        if (readingFlagText(f) == text) {
            return f;
        }
    }
    return std::nullopt;
}

DisplayedValue readDisplayedValue(std::string_view valueText) {
    std::string_view text = trimmed(valueText);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    // The overload display is "0" separator "@"; "open" has the separator after the digit of
    // the lit point, or none.
    if (text.size() == 3 && text[0] == '0' && isSeparator(text[1]) && text[2] == '@') {
        return {negative ? ReadingFlag::NegativeOverload : ReadingFlag::Overload};
    }
    if (text.size() == 2 && text == "0@") {
        return {negative ? ReadingFlag::NegativeOverload : ReadingFlag::Overload};
    }
    if (text == "open") {
        return {ReadingFlag::Open};
    }
    for (std::size_t i = 1; text.size() == 5 && i <= 3; ++i) {
        if (isSeparator(text[i])) {
            if (text.substr(0, i) == std::string_view("open").substr(0, i) &&
                text.substr(i + 1) == std::string_view("open").substr(i)) {
                return {ReadingFlag::Open};
            }
            break;
        }
    }
    DisplayedValue shown;
    std::int64_t digits = 0;
    int count = 0;
    int decimals = -1;  // no separator yet
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (digits > (std::int64_t{1} << 59)) {
                return shown;  // more digits than a 20-character text holds
            }
            digits = digits * 10 + (c - '0');
            ++count;
            if (decimals >= 0) {
                ++decimals;
            }
        } else if (isSeparator(c) && decimals < 0) {
            decimals = 0;
        } else {
            return shown;
        }
    }
    if (count == 0) {
        return shown;
    }
    shown.flag = ReadingFlag::None;
    shown.digits = negative ? -digits : digits;
    shown.decimals = decimals < 0 ? 0 : decimals;
    return shown;
}

QuantityKind quantityKindOf(std::string_view functionText, std::string_view unitText) {
    const QuantityRow* ofFunction = nullptr;
    for (const QuantityRow& row : kQuantityTable) {
        if (row.function == functionText) {
            if (row.unit == unitText) {
                return {row.quantity, row.siUnit, row.exponent, true};
            }
            if (ofFunction == nullptr) {
                ofFunction = &row;
            }
        }
    }
    if (ofFunction != nullptr) {
        return {ofFunction->quantity, ofFunction->siUnit, 0, false};
    }
    return {};
}

namespace {

std::optional<double> siValueOf(const DisplayedValue& shown, const QuantityKind& kind) {
    if (shown.flag != ReadingFlag::None || !kind.scaled) {
        return std::nullopt;
    }
    if (shown.digits == 0) {
        return 0.0;  // "-0.000" is zero, without the sign
    }
    const int power = kind.exponent - shown.decimals;
    const std::int64_t magnitude = shown.digits < 0 ? -shown.digits : shown.digits;
    if (magnitude < kExactDigits && power >= -22 && power <= 22) {
        const auto d = static_cast<double>(shown.digits);
        return power >= 0 ? d * kPowersOfTen[static_cast<std::size_t>(power)]
                          : d / kPowersOfTen[static_cast<std::size_t>(-power)];
    }
    // Beyond exact doubles: the library's correctly rounded reading of the decimal text.
    char text[48];
    auto end = std::to_chars(text, text + 30, shown.digits).ptr;
    *end++ = 'e';
    end = std::to_chars(end, text + sizeof text, power).ptr;
    double value = 0;
    std::from_chars(text, end, value);
    return value;
}

}  // namespace

Quantity quantityOf(const QuantityKind& kind, const DisplayedValue& shown) {
    Quantity q{kind.name, kind.siUnit, siValueOf(shown, kind), shown.flag};
    if (shown.flag == ReadingFlag::None && !q.value) {
        q.flag = ReadingFlag::Invalid;  // a number in a unit the function never shows
    }
    return q;
}

Quantity quantityOf(std::string_view functionText, std::string_view valueText,
                    std::string_view unitText) {
    return quantityOf(quantityKindOf(functionText, unitText), readDisplayedValue(valueText));
}

std::string_view functionTextOf(std::string_view quantity, std::string_view unitText) {
    const QuantityRow* ofQuantity = nullptr;
    for (const QuantityRow& row : kQuantityTable) {
        if (row.quantity == quantity) {
            if (row.unit == unitText) {
                return row.function;
            }
            if (ofQuantity == nullptr) {
                ofQuantity = &row;
            }
        }
    }
    return ofQuantity != nullptr ? ofQuantity->function : std::string_view();
}
