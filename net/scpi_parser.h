#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// What a SCPI client may ask of the meter.
class ScpiInstrument {
public:
    struct Reading {
        enum class Overload { None, Positive, Negative };
        Overload overload = Overload::None;
        double si = 0;         // the value in its SI unit, when not an overload
        std::string quantity;  // as the meter names it ("DCV", "OHM", ...)
        std::string unit;      // the SI unit ("V", "Ohm", ...)
    };
    virtual ~ScpiInstrument() = default;
    // The device's serial, or "0" when unknown.
    virtual std::string serial() const = 0;
    virtual std::string version() const = 0;
    // The last reading; nullopt before the first.
    virtual std::optional<Reading> lastReading() const = 0;
};

// The commands of one SCPI client, one line at a time: *IDN?, READ?, MEAS?, FETC? (the last
// reading as an SI number, 9.9E37 and -9.9E37 for overloads), CONF? (quantity and unit),
// SYST:ERR? (the oldest error, or 0,"No error"), *CLS. Headers in short or long form, any case,
// with or without a leading ':'; several joined by ';'. An unknown header queues
// -113,"Undefined header". Standard C++ only: the server feeds it lines.
class ScpiParser {
public:
    // The longest line taken, without its end; a longer one is refused by the server.
    static constexpr std::size_t kMaxLine = 256;
    static constexpr std::size_t kMaxErrors = 20;

    explicit ScpiParser(const ScpiInstrument& instrument) : m_instrument(instrument) {}

    // Handles one line (its LF taken off; a CR before it is ignored). Returns the answers of its
    // queries joined by ';' with the final LF, or nothing when it asked nothing.
    std::string handleLine(std::string_view line);

    std::size_t errorCount() const { return m_errors.size(); }

private:
    void pushError(std::string error);
    std::optional<std::string> command(std::string_view text);
    std::string readingAnswer();

    const ScpiInstrument& m_instrument;
    std::deque<std::string> m_errors;
};
