#pragma once

#include <cstddef>
#include <string_view>

#include "meter/clock.h"
#include "meter/count_mode.h"
#include "meter/current_reading.h"
#include "meter/fixed_text.h"
#include "meter/lcd_state.h"
#include "meter/reading_consumer.h"

// What became of one frame, for callers that trace the decoding (the command line).
struct DecodeOutcome {
    bool failed = false;       // the frame's processing ended on a failed conversion
    int failedStep = 0;        // the step that failed: 2, 5, 10, 11 or 14; 0 if none
    std::string_view message;  // "'B' is not a valid integer value"; valid until the next frame
    const FrameCountMode* countMode = nullptr;  // the frame's count mode; nullptr if not reached
    int barPosition = -1;      // the bar position as shown (never above the bar's maximum)
    bool rowAppended = false;  // the recording step appended a row
};

// The frame decoder of the Quiller/Brannock meters (LcdDisplayQuiller). Decodes one frame text
// (NibbleFrame, "A" + 11 hexadecimal digits + "D") into LcdState and CurrentReading and drives
// the consumer through the fifteen steps, in order. Keeps the reading and the display state
// between frames: the range text, the mode caption, the value text (when a frame does not form
// one) and Nval carry over. Allocates nothing per frame.
//
// Conversion failures follow the meter program's whole-number reading: a character that is not
// hexadecimal in positions 1-13, a letter where a decimal code is read, or digits that do not
// form a whole number end the frame at that step. What earlier steps did stays; later steps do
// not run; the consumer hears conversionFailed("'TEXT' is not a valid integer value").
class FrameDecoder {
public:
    // The separator is the locale's decimal separator; only its first 9 characters are used.
    FrameDecoder(ReadingConsumer& consumer, Clock& clock, std::string_view decimalSeparator = ".");

    // Decodes one frame text. Never throws; a failure is reported in the outcome and through
    // the consumer. The outcome stays valid until the next call.
    const DecodeOutcome& decode(std::string_view frameText);

    void setDecimalSeparator(std::string_view separator) { m_separator.assign(separator); }
    std::string_view decimalSeparator() const { return m_separator; }

    // The state as the last frame left it (on a failed frame: as far as it got).
    const CurrentReading& reading() const { return m_reading; }
    const LcdState& lcdState() const { return m_lcd; }
    const DecodeOutcome& lastOutcome() const { return m_outcome; }
    ReadingConsumer& consumer() { return m_consumer; }

private:
    bool applyFunctionTable(const char* p);
    void applyFlags(const int* values, char functionChar);
    bool fail(int step, std::string_view text);
    void stampTime();
    // The decimal value of the character at a position (counted from 1, as the frame layout
    // does); a character that is not "0"-"9" fails step 5.
    bool decimalAt(const char* p, int position, int& value) {
        const unsigned d = static_cast<unsigned char>(p[position - 1]) - unsigned{'0'};
        if (d > 9) {
            return failDecimal(p[position - 1]);
        }
        value = static_cast<int>(d);
        return true;
    }
    bool failDecimal(char c);

    template <typename... Elements>
    void light(Elements... elements) {
        (m_lcd.light(elements), ...);
    }
    void setTexts(std::string_view function, std::string_view unit) {
        m_reading.functionText.assign(function);
        m_reading.unitText.assign(unit);
    }

    ReadingConsumer& m_consumer;
    Clock& m_clock;
    FixedText<9> m_separator;
    CurrentReading m_reading;
    LcdState m_lcd;
    DecodeOutcome m_outcome;
    LocalDateTime m_stampedTime{};
    bool m_timeStamped = false;
    char m_message[96] = {};
};
