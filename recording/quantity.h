#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What a recorded reading measures, as numbers other tools take: the quantity, the value as an
// SI number and the SI unit, worked out from the row's function, value and unit texts by one
// table (quantity.cpp) that holds every function and unit the decoder gives.

// Why a reading has no value.
enum class ReadingFlag : std::uint8_t {
    None,              // a number
    Overload,          // "0.@": beyond the range
    NegativeOverload,  // "-0.@"
    Open,              // "open" (an open input)
    Invalid,           // the value text is not a number, or the function and unit are not known
};
// "", "OL", "-OL", "open", "invalid".
std::string_view readingFlagText(ReadingFlag flag);
// The flag a text names ("" is None); nullopt for any other text.
std::optional<ReadingFlag> readingFlagOfText(std::string_view text);

struct Quantity {
    std::string_view name;        // "voltage_dc", "resistance", ...; empty for an unknown function
    std::string_view siUnit;      // UTF-8: "V", "A", "Ω", "F", "Hz", "°C", "°F", "rpm", "°"
    std::optional<double> value;  // in siUnit; none when flag is not None
    ReadingFlag flag = ReadingFlag::Invalid;

    friend bool operator==(const Quantity&, const Quantity&) = default;
};

// The value text as a number before the unit scales it: value = digits * 10^-decimals.
struct DisplayedValue {
    ReadingFlag flag = ReadingFlag::Invalid;
    std::int64_t digits = 0;  // with the sign
    int decimals = 0;
};
// Reads a value text as the decoder forms it: an optional "-", digits with at most one decimal
// separator ("." or ","), blanks around; the overload ("0.@", "-0.@") and "open" displays with
// their separator. Anything else is Invalid. Never fails.
DisplayedValue readDisplayedValue(std::string_view valueText);

// Where a function and unit text pair sits in the quantity table; kNoQuantity when the function
// is unknown. A known function with a unit it never shows gives its quantity with no scale.
struct QuantityKind {
    std::string_view name;
    std::string_view siUnit;
    int exponent = 0;     // SI value = displayed value * 10^exponent
    bool scaled = false;  // false: the unit text is not one the function shows
};
QuantityKind quantityKindOf(std::string_view functionText, std::string_view unitText);

// The quantity of a displayed value of this kind: the SI number is the correctly rounded double
// of digits * 10^(exponent - decimals). A number of a kind without scale is Invalid.
Quantity quantityOf(const QuantityKind& kind, const DisplayedValue& shown);

// The quantity of one row. Never fails: what cannot be read is flagged Invalid.
Quantity quantityOf(std::string_view functionText, std::string_view valueText,
                    std::string_view unitText);

// The function text of a quantity shown with a unit text ("voltage_dc", "mV" -> "DCmv"), for
// rows read back from the analysis files; empty when no function of the table gives them.
std::string_view functionTextOf(std::string_view quantity, std::string_view unitText);
