#include "meter/frame_decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "meter/whole_number.h"

// How the decoder settles what the meter's frame layout leaves open:
// - Only the positions a row of the function table needs are read. A sub-function code that no
//   row lists reads nothing more (no range), so a letter in an unread position is no failure.
// - A range code without a row ("other") keeps what the function sets before its range: function
//   text, unit where the function has one unit, the function's common elements and mode caption.
//   Current functions 4-6 with an unlisted sub-function still light their common elements and
//   carry their unit; only the function text stays empty and the mode caption unchanged.
// - Capacitance range code 2 reads "1000 nF": it lights 1 0 0 0 with "n" and no point, between
//   "100 nF" (code 1) and "10 uF" (code 3).
// - The serial assembler hands over only frames that pass its shape test; a frame driven in
//   directly without "A" and "D" at positions 1 and 13 still runs the display, digit and numeric
//   steps, but no function is decoded and the value text carries over.
// - A text shorter than 13 characters fails the conversion of step 2 on the missing position
//   (reported as an empty text); characters after position 13 are not read.
// - At step 10 the face of the frame's count mode is drawn and the needle set to zero before the
//   needle value is converted; when that conversion fails the scale is left showing zero.

namespace {

using E = LcdElement;

// Value of a hexadecimal digit character, -1 for any other byte (a table: step 2 runs it 13 times
// per frame).
constexpr std::array<std::int8_t, 256> kHexValues = [] {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) {
        v = -1;
    }
    for (int c = '0'; c <= '9'; ++c) {
        t[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c) {
        t[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
        t[static_cast<std::size_t>(c - 'A' + 'a')] = static_cast<std::int8_t>(c - 'A' + 10);
    }
    return t;
}();

int hexValue(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

// The whole number a digit text reads as. Plain "-"/digits texts, which is every display the
// meter sends, are read directly; anything else goes through the general reading, which gives
// the same result for the plain ones.
std::optional<std::int32_t> readWholeNumber(std::string_view text) {
    const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() > start && text.size() - start <= 9) {
        std::int32_t value = 0;
        std::size_t i = start;
        for (; i < text.size(); ++i) {
            const unsigned d = static_cast<unsigned char>(text[i]) - unsigned{'0'};
            if (d > 9) {
                break;
            }
            value = value * 10 + static_cast<std::int32_t>(d);
        }
        if (i == text.size()) {
            return start == 1 ? -value : value;
        }
    }
    return parseWholeNumber(text);
}

// Joins a sign and digit texts into a number text held in place.
struct NumberText {
    char buffer[32];
    std::size_t size = 0;
    void add(std::string_view part) {
        for (char c : part) {
            if (size < sizeof buffer) {
                buffer[size++] = c;
            }
        }
    }
    std::string_view view() const { return {buffer, size}; }
};

// The display's digits as numbers: the meter sends single decimal digits, which are read once
// per frame; anything else (letters, the overload and "open" texts) is joined into a text and
// read as a whole, as the digits have always been read.
class DisplayDigits {
public:
    // raw: the digits are the frame's characters 5-8 as sent (no overload or "open" rule), whose
    // hexadecimal values are given; they are then read without looking at the texts.
    DisplayDigits(const std::array<FixedText<2>, 4>& d, bool raw, const int* values) : m_digits(d) {
        if (raw) {
            const int a = values[0], b = values[1], c = values[2], e = values[3];
            m_plain = a > 9 ? 0 : b > 9 ? 1 : c > 9 ? 2 : e > 9 ? 3 : 4;
            m_prefix[1] = a;
            m_prefix[2] = a * 10 + b;
            m_prefix[3] = m_prefix[2] * 10 + c;
            m_prefix[4] = m_prefix[3] * 10 + e;
            return;
        }
        int v = 0;
        for (; m_plain < 4; ++m_plain) {
            const std::string_view digit = d[m_plain];
            const unsigned dv =
                digit.size() == 1 ? static_cast<unsigned char>(digit[0]) - unsigned{'0'} : 10u;
            if (dv > 9) {
                break;
            }
            v = v * 10 + static_cast<int>(dv);
            m_prefix[m_plain + 1] = v;
        }
    }

    // The whole number written by the sign and the first `count` digits; on failure the text
    // that did not convert is left in `failed`.
    bool read(std::string_view sign, std::size_t count, int& value, NumberText& failed) const {
        if (count <= m_plain) {
            value = sign.empty() ? m_prefix[count] : -m_prefix[count];
            return true;
        }
        failed.add(sign);
        for (std::size_t k = 0; k < count; ++k) {
            failed.add(m_digits[k]);
        }
        const auto n = readWholeNumber(failed.view());
        if (!n) {
            return false;
        }
        value = *n;
        return true;
    }

private:
    const std::array<FixedText<2>, 4>& m_digits;
    std::size_t m_plain = 0;
    int m_prefix[5] = {};
};

// Two-digit fields of the time text.
char* put2(char* out, int v) {
    out[0] = static_cast<char>('0' + (v / 10) % 10);
    out[1] = static_cast<char>('0' + v % 10);
    return out + 2;
}

char* putText(char* out, std::string_view text) {
    for (char c : text) {
        *out++ = c;
    }
    return out;
}

constexpr std::size_t kFrameLength = 13;

}  // namespace

FrameDecoder::FrameDecoder(ReadingConsumer& consumer, Clock& clock,
                           std::string_view decimalSeparator)
    : m_consumer(consumer), m_clock(clock), m_separator(decimalSeparator) {}

bool FrameDecoder::fail(int step, std::string_view text) {
    const std::size_t n = formatNotAWholeNumber(text, m_message, sizeof m_message);
    m_outcome.failed = true;
    m_outcome.failedStep = step;
    m_outcome.message = std::string_view(m_message, n);
    m_consumer.conversionFailed(m_outcome.message);
    return false;
}

bool FrameDecoder::failDecimal(char c) {
    return fail(5, std::string_view(&c, 1));
}

void FrameDecoder::stampTime() {
    const LocalDateTime t = m_clock.now();
    if (m_timeStamped && t == m_stampedTime) {
        return;
    }
    // "hh : nn : ss     mm - dd - yyyy"
    char buf[32];
    char* o = buf;
    o = put2(o, t.hour);
    o = putText(o, " : ");
    o = put2(o, t.minute);
    o = putText(o, " : ");
    o = put2(o, t.second);
    o = putText(o, "     ");
    o = put2(o, t.month);
    o = putText(o, " - ");
    o = put2(o, t.day);
    o = putText(o, " - ");
    o = put2(o, (t.year / 100) % 100);
    o = put2(o, t.year % 100);
    m_lcd.timeText.assign(std::string_view(buf, static_cast<std::size_t>(o - buf)));
    m_stampedTime = t;
    m_timeStamped = true;
}

const DecodeOutcome& FrameDecoder::decode(std::string_view frameText) {
    m_outcome = DecodeOutcome{};

    // Step 1: the frame mark of the connection indicator.
    m_consumer.frameMark();

    // Step 2: every position 1-13 must be a hexadecimal digit.
    int values[kFrameLength];
    int anyBad = frameText.size() < kFrameLength ? -1 : 0;
    if (anyBad == 0) {
#pragma GCC unroll 13
        for (std::size_t i = 0; i < kFrameLength; ++i) {
            values[i] = hexValue(frameText[i]);
            anyBad |= values[i];
        }
    }
    if (anyBad < 0) {
        // The first position that does not convert; a missing one reads as an empty text.
        for (std::size_t i = 0; i < kFrameLength; ++i) {
            if (i >= frameText.size()) {
                fail(2, {});
                return m_outcome;
            }
            if (hexValue(frameText[i]) < 0) {
                fail(2, frameText.substr(i, 1));
                return m_outcome;
            }
        }
    }
    const char* p = frameText.data();

    // Step 3: start the frame. The range text and the mode caption carry over.
    m_reading.functionText.clear();
    m_reading.unitText.clear();
    m_reading.autoManualText.clear();
    m_lcd.lit.reset();
    m_lcd.point = 0;
    m_lcd.minus = false;
    stampTime();

    // Step 4: the frame text for the diagnostic label; the frame mark stays lit from now on.
    m_consumer.frameText(frameText);
    light(E::LCDsend);

    // Step 5: the function table, only for a frame with its start and end marks.
    const bool framed = p[0] == 'A' && p[12] == 'D';
    if (framed && !applyFunctionTable(p)) {
        return m_outcome;
    }

    // Step 6: digits, the overload rule, then the flags (the "open" rule wins over overload).
    std::array<FixedText<2>, 4>& d = m_reading.digits;
    for (std::size_t i = 0; i < 4; ++i) {
        d[i].clear();
        d[i].append(p[4 + i]);
    }
    if (values[9] & 1) {
        d[0].assign("  ");
        d[1].assign("0");
        d[2].assign("@");
        d[3].assign("  ");
    }
    applyFlags(values, p[1]);

    // Step 7: sign and decimal points.
    m_reading.signText.assign(m_lcd.minus ? "-" : "");
    const std::string_view sep = m_separator;
    const std::string_view p1 = m_lcd.point == 1 ? sep : std::string_view{};
    const std::string_view p2 = m_lcd.point == 2 ? sep : std::string_view{};
    const std::string_view p3 = m_lcd.point == 3 ? sep : std::string_view{};

    // Step 8: the LCD.
    m_lcd.digits = d;
    m_consumer.lcdApply(m_lcd);

    // Step 9: the value text.
    const std::string_view sign = m_reading.signText;
    const bool negative = m_lcd.minus;
    const bool overloadShown = d[2].view() == "@";
    if (framed) {
        // Built in place and assigned once: only one point is lit, so at most one separator.
        NumberText v;
        if (negative) {
            v.buffer[v.size++] = '-';
        }
        if (overloadShown) {
            v.add(d[1]);
            v.add(p1);
            v.add(d[2]);
        } else {
            // Without the overload rule every digit text is one character.
            const std::string_view points[4] = {{}, p1, p2, p3};
            for (std::size_t i = 0; i < 4; ++i) {
                v.buffer[v.size++] = d[i].view()[0];
                if (m_lcd.point == static_cast<int>(i) + 1) {
                    v.add(points[i + 1]);
                }
            }
        }
        m_reading.valueText.assign(v.view());
    }

    // Step 10: the count mode of this frame, the face, the needle.
    const FrameCountMode& mode = chooseFrameCountMode(m_reading.functionText, m_reading.unitText);
    m_outcome.countMode = &mode;
    const ScaleParams& scale = *mode.scale;
    const bool openShown = d[0].view() == "o" && d[1].view() == "p";
    const DisplayDigits digits(d, (values[9] & 1) == 0 && (values[11] & 1) == 0, values + 4);
    int needle = 0;
    if (overloadShown) {
        needle = negative ? 0 : 10 * scale.scaleSteps;
    } else if (openShown && (scale.mode == "4" || scale.mode == "13")) {
        needle = 0;
    } else {
        // Modes "4" and "10" show the count without its last digit; mode "13" the whole count.
        NumberText failed;
        int n = 0;
        if (!digits.read(sign, scale.mode == "13" ? 4 : 3, n, failed)) {
            m_consumer.scaleUpdate(mode, scale.needleOffset);
            fail(10, failed.view());
            return m_outcome;
        }
        needle = n + scale.needleOffset;
    }
    m_consumer.scaleUpdate(mode, needle);

    // Step 11: Nval.
    int count = 0;
    if (overloadShown) {
        count = negative ? -(scale.fullScale + 1) : scale.fullScale + 1;
    } else if (openShown) {
        count = 0;
    } else {
        NumberText failed;
        if (!digits.read(sign, 4, count, failed)) {
            fail(11, failed.view());
            return m_outcome;
        }
    }
    m_reading.nval = static_cast<float>(count);

    // Step 12: limit alarm and running extremes.
    m_consumer.limitCheck(m_reading, mode);

    // Step 13: the recording step.
    const bool appended = m_consumer.recordReading(m_reading);
    m_outcome.rowAppended = appended;

    // Step 14: the bar graph; the sign is ignored, and the bar cannot show more than its maximum.
    const bool overloadBar = d[1].view() == "0" && d[2].view() == "@";
    int bar = 0;
    if (overloadBar) {
        bar = mode.barOverload;
    } else if (openShown) {
        bar = 0;
    } else {
        NumberText failed;
        int n = 0;
        if (!digits.read({}, 2, n, failed)) {
            fail(14, failed.view());
            return m_outcome;
        }
        bar = n <= 1 ? 1 : n;
    }
    bar = std::min(bar, mode.barMaximum);
    m_outcome.barPosition = bar;
    m_consumer.barGraph(mode.barMaximum, bar);

    // Step 15: the chart plots recorded readings only; an overload plots at full scale.
    if (appended) {
        int y = count;
        if (overloadBar) {
            y = negative ? -scale.fullScale : scale.fullScale;
        }
        m_consumer.chartFeed(y);
    }
    return m_outcome;
}

void FrameDecoder::applyFlags(const int* values, char functionChar) {
    const int f10 = values[9];
    const int f11 = values[10];
    const int f12 = values[11];
    if (f10 & 8) {
        light(E::WEI);
    }
    if (f10 & 4) {
        m_lcd.minus = true;
    }
    if (f10 & 2) {
        light(E::LCDBATT);
    }
    if (f11 & 8) {
        light(E::LCDHold);
    }
    if (f11 & 4) {
        light(E::Labmax);
    }
    if (f11 & 2) {
        light(E::Labmin);
    }
    if (f11 & 1) {
        light(E::LcdAuto);
        m_reading.autoManualText.assign("Auto");
    }
    if (f12 & 8) {
        // The frequency function has no MANU sign on its display, but the reading says "Manu".
        if (functionChar != '8') {
            light(E::LcdManu);
        }
        m_reading.autoManualText.assign("Manu");
    }
    if (f12 & 1) {
        auto& d = m_reading.digits;
        d[0].assign("o");
        d[1].assign("p");
        d[2].assign("e");
        d[3].assign("n");
    }
}

bool FrameDecoder::applyFunctionTable(const char* p) {
    int function = 0;
    if (!decimalAt(p, 2, function)) {
        return false;
    }
    int sub = 0;
    int range = 0;
    CurrentReading& r = m_reading;
    switch (function) {
        case 0:  // voltage
            light(E::LcdDc1);
            if (p[2] == '0') {
                r.functionText.assign("DCV");
                m_lcd.modeCaption.assign("DCV");
            } else {
                r.functionText.assign("ACV");
                m_lcd.modeCaption.assign("ACV");
            }
            r.unitText.assign("V");
            if (!decimalAt(p, 4, range)) {
                return false;
            }
            switch (range) {
                case 0:
                    r.rangeText.assign("4 V");
                    m_lcd.point = 1;
                    light(E::LcdV, E::dd4, E::LCDVV);
                    break;
                case 1:
                    r.rangeText.assign("40 V");
                    m_lcd.point = 2;
                    light(E::LcdV, E::dd4, E::dd00, E::LCDVV);
                    break;
                case 2:
                    r.rangeText.assign("400 V");
                    m_lcd.point = 3;
                    light(E::LcdV, E::dd4, E::dd00, E::dd10, E::LCDVV);
                    break;
                case 3:
                    r.rangeText.assign("1000 V");
                    light(E::LcdV, E::dd1, E::dd00, E::dd10, E::dd20);
                    light(E::LCDVV);
                    break;
                default:
                    break;
            }
            break;

        case 1:  // millivolts and temperature
            if (!decimalAt(p, 3, sub)) {
                return false;
            }
            if (sub == 0) {
                light(E::LcdDc1);
                m_lcd.modeCaption.assign("DCV");
                light(E::Lcdm, E::LcdV, E::LCDM1, E::LCDVV, E::dd4);
                if (!decimalAt(p, 4, range)) {
                    return false;
                }
                if (range == 0) {
                    setTexts("DCmv", "mV");
                    r.rangeText.assign("400 mv");
                    m_lcd.point = 3;
                    light(E::dd00, E::dd10);
                } else if (range == 1) {
                    setTexts("DCmv", "mV");
                    r.rangeText.assign("40 mv");
                    m_lcd.point = 2;
                    light(E::dd00);
                }
            } else if (sub == 1) {
                setTexts("TMP", "#");
                light(E::LCDCS);
            } else if (sub == 2) {
                setTexts("TMP", "?");
                light(E::LCDFS);
            }
            break;

        case 2:  // resistance, continuity, capacitance
            if (!decimalAt(p, 3, sub)) {
                return false;
            }
            if (sub == 0) {
                r.functionText.assign("OHM");
                light(E::LCDohm);
                if (!decimalAt(p, 4, range)) {
                    return false;
                }
                switch (range) {
                    case 0:
                        r.unitText.assign("*");
                        r.rangeText.assign("400 *");
                        m_lcd.point = 3;
                        light(E::dd4, E::dd00, E::dd10);
                        break;
                    case 1:
                        r.unitText.assign("K *");
                        r.rangeText.assign("4k *");
                        m_lcd.point = 1;
                        light(E::dd4, E::lcdkk);
                        break;
                    case 2:
                        r.unitText.assign("K *");
                        r.rangeText.assign("40 k *");
                        m_lcd.point = 2;
                        light(E::dd4, E::dd00, E::lcdkk);
                        break;
                    case 3:
                        r.unitText.assign("K *");
                        r.rangeText.assign("400k *");
                        m_lcd.point = 3;
                        light(E::dd4, E::dd00, E::dd10, E::lcdkk);
                        break;
                    case 4:
                        r.unitText.assign("M *");
                        r.rangeText.assign("4M *");
                        m_lcd.point = 1;
                        light(E::dd4, E::LCDMM);
                        break;
                    case 5:
                        r.unitText.assign("M *");
                        r.rangeText.assign("40 M *");
                        m_lcd.point = 2;
                        light(E::dd4, E::dd00, E::LCDMM);
                        break;
                    default:
                        break;
                }
            } else if (sub == 1) {
                r.functionText.assign("CTN");
                r.rangeText.assign("400");
                m_lcd.point = 3;
                light(E::LCDFm);
            } else if (sub == 2) {
                r.functionText.assign("CAP");
                light(E::LCDF);
                if (!decimalAt(p, 4, range)) {
                    return false;
                }
                switch (range) {
                    case 0:
                        r.unitText.assign("nF");
                        r.rangeText.assign("10 nF");
                        m_lcd.point = 2;
                        light(E::dd1, E::dd00, E::LCDn);
                        break;
                    case 1:
                        r.unitText.assign("nF");
                        r.rangeText.assign("100 nF");
                        m_lcd.point = 3;
                        light(E::dd1, E::dd00, E::dd10, E::LCDn);
                        break;
                    case 2:
                        r.unitText.assign("nF");
                        r.rangeText.assign("1000 nF");
                        light(E::dd1, E::dd00, E::dd10, E::dd20, E::LCDn);
                        break;
                    case 3:
                        r.unitText.assign("uF");
                        r.rangeText.assign("10 uF");
                        m_lcd.point = 2;
                        light(E::dd1, E::dd00, E::lcduu);
                        break;
                    case 4:
                        r.unitText.assign("uF");
                        r.rangeText.assign("100 uF");
                        m_lcd.point = 3;
                        light(E::dd1, E::dd00, E::dd10, E::lcduu);
                        break;
                    default:
                        break;
                }
            }
            break;

        case 3:  // diode; positions 3 and 4 are not read
            setTexts(")", "v");
            r.rangeText.assign("4v");
            m_lcd.point = 1;
            light(E::LcdV, E::LCDDI, E::dd4, E::LCDVV);
            break;

        case 4:  // milliamps
        case 5:  // microamps
        case 6:  // amps
        {
            light(E::LcdDc1, E::LCDA);
            if (function == 4) {
                light(E::Lcdm, E::dd4);
                r.unitText.assign("mA");
            } else if (function == 5) {
                light(E::lcduu, E::dd4);
                r.unitText.assign("uA");
            } else {
                r.unitText.assign("A");
            }
            if (!decimalAt(p, 3, sub)) {
                return false;
            }
            if (sub != 0 && sub != 1) {
                break;
            }
            const bool dc = sub == 0;
            m_lcd.modeCaption.assign(dc ? "DCA" : "ACA");
            static constexpr std::string_view kFunctionTexts[3][2] = {
                {"DCmA", "ACmA"}, {"DCuA", "ACuA"}, {"DCA", "ACA"}};
            r.functionText.assign(kFunctionTexts[function - 4][dc ? 0 : 1]);
            if (!decimalAt(p, 4, range)) {
                return false;
            }
            if (function == 4) {
                if (range == 0) {
                    r.rangeText.assign(dc ? "40 mA" : "40mA");
                    m_lcd.point = 2;
                    light(E::dd00);
                } else if (range == 1) {
                    r.rangeText.assign(dc ? "400 mA" : "400mA");
                    m_lcd.point = 3;
                    light(E::dd00, E::dd10);
                }
            } else if (function == 5) {
                if (range == 0) {
                    r.rangeText.assign("400uA");
                    m_lcd.point = 3;
                    light(E::dd00, E::dd10);
                } else if (range == 1) {
                    r.rangeText.assign("4000uA");
                    light(E::dd00, E::dd10, E::dd20);
                }
            } else {
                if (range == 0) {
                    r.rangeText.assign("4A");
                    m_lcd.point = 1;
                    light(E::dd4);
                } else if (range == 1) {
                    r.rangeText.assign("10A");
                    m_lcd.point = 2;
                    light(E::dd1, E::dd00);
                }
            }
            break;
        }

        case 7:  // engine speed and dwell
            if (!decimalAt(p, 3, sub)) {
                return false;
            }
            if (sub == 0) {
                r.functionText.assign("RPM");
                light(E::LcdRPM, E::CYL);
            } else if (sub == 1) {
                r.functionText.assign("DWL");
                m_lcd.point = 3;
                light(E::DWL, E::D, E::LCDBF, E::CYL);
            } else {
                break;
            }
            if (!decimalAt(p, 4, range)) {
                return false;
            }
            if (range >= 0 && range <= 2) {
                static constexpr std::string_view kCylinders[3] = {"4CYL", "6CYL", "8CYL"};
                static constexpr E kMarks[3] = {E::D4, E::D6, E::D8};
                r.rangeText.assign(kCylinders[range]);
                light(kMarks[range]);
                if (sub == 1) {
                    r.unitText.assign("<");
                }
            }
            break;

        case 8:  // frequency; its range code sits in position 9
            light(E::lcdhz);
            r.functionText.assign("FRQ");
            r.rangeText.clear();
            if (!decimalAt(p, 9, range)) {
                return false;
            }
            switch (range) {
                case 0:
                    r.unitText.assign("Hz");
                    r.rangeText.assign("40Hz");
                    m_lcd.point = 2;
                    break;
                case 1:
                    r.unitText.assign("Hz");
                    r.rangeText.assign("400Hz");
                    m_lcd.point = 3;
                    break;
                case 2:
                    r.unitText.assign("kHz");
                    r.rangeText.assign("4kHz");
                    m_lcd.point = 1;
                    light(E::lcdkk);
                    break;
                case 3:
                    r.unitText.assign("kHz");
                    r.rangeText.assign("40kHz");
                    m_lcd.point = 2;
                    light(E::lcdkk);
                    break;
                case 4:
                    r.unitText.assign("kHz");
                    r.rangeText.assign("400kHz");
                    m_lcd.point = 3;
                    light(E::lcdkk);
                    break;
                case 5:
                    r.unitText.assign("MHz");
                    r.rangeText.assign("4MHz");
                    m_lcd.point = 1;
                    light(E::LCDMM);
                    break;
                default:
                    r.unitText.assign("Hz");
                    break;
            }
            break;

        default:  // function code 9 selects no function
            break;
    }
    return true;
}
