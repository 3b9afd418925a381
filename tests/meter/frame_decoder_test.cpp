#include "meter/frame_decoder.h"
#include "meter/reading_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <string>

#include "tests/support/recording_consumer.h"

namespace {

// The lit elements by name, in enum order, without the frame mark (lit by every frame).
std::string litNames(const LcdState& state) {
    std::string names;
    for (std::size_t i = 0; i < kLcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        if (e == LcdElement::LCDsend || !state.isLit(e)) {
            continue;
        }
        if (!names.empty()) {
            names += ' ';
        }
        names += lcdElementName(e);
    }
    return names;
}

class DecoderTest : public ::testing::Test {
protected:
    RecordingConsumer consumer;
    FixedClock clock{LocalDateTime{2026, 3, 4, 9, 5, 7}};
    FrameDecoder decoder{consumer, clock, "."};

    const DecodeOutcome& decode(std::string_view frame) {
        consumer.calls.clear();
        return decoder.decode(frame);
    }
};

// --- the worked example ------------------------------------------------------------------------

TEST_F(DecoderTest, DecodesTheDcVoltExampleThroughEveryStep) {
    const DecodeOutcome& out = decode("A00012340010D");
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(consumer.takeCalls(),
              "frameMark frameText lcdApply scaleUpdate limitCheck recordReading barGraph "
              "chartFeed");
    const CurrentReading& r = decoder.reading();
    EXPECT_EQ(r.functionText, "DCV");
    EXPECT_EQ(r.unitText, "V");
    EXPECT_EQ(r.rangeText, "4 V");
    EXPECT_EQ(r.autoManualText, "Auto");
    EXPECT_EQ(r.valueText, "1.234");
    EXPECT_EQ(r.nval, 1234.0f);
    EXPECT_EQ(consumer.reading.valueText, "1.234");  // limitCheck saw the complete reading
    EXPECT_EQ(consumer.lcd.modeCaption, "DCV");
    EXPECT_EQ(consumer.lcd.point, 1);
    EXPECT_EQ(litNames(consumer.lcd), "LcdDc1 LcdV LcdAuto dd4 LCDVV");
    EXPECT_TRUE(consumer.lcd.isLit(LcdElement::LCDsend));
    EXPECT_EQ(consumer.lcd.digits[0], "1");
    EXPECT_EQ(consumer.lcd.digits[3], "4");
    EXPECT_EQ(consumer.lcd.timeText, "09 : 05 : 07     03 - 04 - 2026");
    EXPECT_EQ(consumer.frameTexts.back(), "A00012340010D");
    ASSERT_NE(out.countMode, nullptr);
    EXPECT_EQ(out.countMode->scale->mode, "4");
    EXPECT_EQ(consumer.needle, 123 + 400);
    EXPECT_EQ(consumer.barMaximum, 40);
    EXPECT_EQ(out.barPosition, 12);
    EXPECT_TRUE(out.rowAppended);
    EXPECT_EQ(consumer.chartValues, std::vector<int>{1234});
}

// --- the function table ------------------------------------------------------------------------

struct FunctionCase {
    const char* frame;
    const char* function;
    const char* unit;
    const char* range;  // the range before is "40 V" (mode caption "ACV")
    int point;
    const char* lit;
    const char* caption;
};

[[maybe_unused]] void PrintTo(const FunctionCase& c, std::ostream* os) {
    *os << c.frame;
}

class FunctionTable : public DecoderTest, public ::testing::WithParamInterface<FunctionCase> {};

TEST_P(FunctionTable, SetsTextsPointAndLitElements) {
    const FunctionCase& c = GetParam();
    decode("A01112340000D");  // ACV, "40 V"
    const DecodeOutcome& out = decode(c.frame);
    EXPECT_FALSE(out.failed) << out.message;
    const CurrentReading& r = decoder.reading();
    EXPECT_EQ(r.functionText, c.function);
    EXPECT_EQ(r.unitText, c.unit);
    EXPECT_EQ(r.rangeText, c.range);
    EXPECT_EQ(consumer.lcd.point, c.point);
    EXPECT_EQ(litNames(consumer.lcd), c.lit);
    EXPECT_EQ(consumer.lcd.modeCaption, c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FunctionTable,
    ::testing::Values(
        // voltage: "0" at position 3 is DC, anything else AC
        FunctionCase{"A00012340000D", "DCV", "V", "4 V", 1, "LcdDc1 LcdV dd4 LCDVV", "DCV"},
        FunctionCase{"A0F112340000D", "ACV", "V", "40 V", 2, "LcdDc1 LcdV dd4 dd00 LCDVV", "ACV"},
        FunctionCase{"A00212340000D", "DCV", "V", "400 V", 3, "LcdDc1 LcdV dd4 dd00 dd10 LCDVV",
                     "DCV"},
        FunctionCase{"A00312340000D", "DCV", "V", "1000 V", 0,
                     "LcdDc1 LcdV dd1 dd00 dd10 dd20 LCDVV", "DCV"},
        FunctionCase{"A00712340000D", "DCV", "V", "40 V", 0, "LcdDc1", "DCV"},
        // millivolts and temperature
        FunctionCase{"A10012340000D", "DCmv", "mV", "400 mv", 3,
                     "LcdDc1 Lcdm LcdV dd4 dd00 dd10 LCDM1 LCDVV", "DCV"},
        FunctionCase{"A10112340000D", "DCmv", "mV", "40 mv", 2,
                     "LcdDc1 Lcdm LcdV dd4 dd00 LCDM1 LCDVV", "DCV"},
        FunctionCase{"A10912340000D", "", "", "40 V", 0, "LcdDc1 Lcdm LcdV dd4 LCDM1 LCDVV", "DCV"},
        FunctionCase{"A11F12340000D", "TMP", "#", "40 V", 0, "LCDCS", "ACV"},
        FunctionCase{"A12012340000D", "TMP", "?", "40 V", 0, "LCDFS", "ACV"},
        FunctionCase{"A13F12340000D", "", "", "40 V", 0, "", "ACV"},
        // resistance, continuity, capacitance
        FunctionCase{"A20012340000D", "OHM", "*", "400 *", 3, "LCDohm dd4 dd00 dd10", "ACV"},
        FunctionCase{"A20112340000D", "OHM", "K *", "4k *", 1, "LCDohm lcdkk dd4", "ACV"},
        FunctionCase{"A20212340000D", "OHM", "K *", "40 k *", 2, "LCDohm lcdkk dd4 dd00", "ACV"},
        FunctionCase{"A20312340000D", "OHM", "K *", "400k *", 3, "LCDohm lcdkk dd4 dd00 dd10",
                     "ACV"},
        FunctionCase{"A20412340000D", "OHM", "M *", "4M *", 1, "LCDohm LCDMM dd4", "ACV"},
        FunctionCase{"A20512340000D", "OHM", "M *", "40 M *", 2, "LCDohm LCDMM dd4 dd00", "ACV"},
        FunctionCase{"A20612340000D", "OHM", "", "40 V", 0, "LCDohm", "ACV"},
        FunctionCase{"A21F12340000D", "CTN", "", "400", 3, "LCDFm", "ACV"},
        FunctionCase{"A22012340000D", "CAP", "nF", "10 nF", 2, "LCDn LCDF dd1 dd00", "ACV"},
        FunctionCase{"A22112340000D", "CAP", "nF", "100 nF", 3, "LCDn LCDF dd1 dd00 dd10", "ACV"},
        FunctionCase{"A22212340000D", "CAP", "nF", "1000 nF", 0, "LCDn LCDF dd1 dd00 dd10 dd20",
                     "ACV"},
        FunctionCase{"A22312340000D", "CAP", "uF", "10 uF", 2, "lcduu LCDF dd1 dd00", "ACV"},
        FunctionCase{"A22412340000D", "CAP", "uF", "100 uF", 3, "lcduu LCDF dd1 dd00 dd10", "ACV"},
        FunctionCase{"A22812340000D", "CAP", "", "40 V", 0, "LCDF", "ACV"},
        FunctionCase{"A27F12340000D", "", "", "40 V", 0, "", "ACV"},
        // diode: positions 3 and 4 are not read
        FunctionCase{"A3FF12340000D", ")", "v", "4v", 1, "LCDDI LcdV dd4 LCDVV", "ACV"},
        // currents
        FunctionCase{"A40012340000D", "DCmA", "mA", "40 mA", 2, "LcdDc1 Lcdm LCDA dd4 dd00", "DCA"},
        FunctionCase{"A41012340000D", "ACmA", "mA", "40mA", 2, "LcdDc1 Lcdm LCDA dd4 dd00", "ACA"},
        FunctionCase{"A40112340000D", "DCmA", "mA", "400 mA", 3, "LcdDc1 Lcdm LCDA dd4 dd00 dd10",
                     "DCA"},
        FunctionCase{"A41112340000D", "ACmA", "mA", "400mA", 3, "LcdDc1 Lcdm LCDA dd4 dd00 dd10",
                     "ACA"},
        FunctionCase{"A42F12340000D", "", "mA", "40 V", 0, "LcdDc1 Lcdm LCDA dd4", "ACV"},
        FunctionCase{"A50012340000D", "DCuA", "uA", "400uA", 3, "LcdDc1 lcduu LCDA dd4 dd00 dd10",
                     "DCA"},
        FunctionCase{"A51112340000D", "ACuA", "uA", "4000uA", 0,
                     "LcdDc1 lcduu LCDA dd4 dd00 dd10 dd20", "ACA"},
        FunctionCase{"A60012340000D", "DCA", "A", "4A", 1, "LcdDc1 LCDA dd4", "DCA"},
        FunctionCase{"A61112340000D", "ACA", "A", "10A", 2, "LcdDc1 LCDA dd1 dd00", "ACA"},
        FunctionCase{"A60512340000D", "DCA", "A", "40 V", 0, "LcdDc1 LCDA", "DCA"},
        // engine speed and dwell
        FunctionCase{"A70012340000D", "RPM", "", "4CYL", 0, "D4 CYL LcdRPM", "ACV"},
        FunctionCase{"A70112340000D", "RPM", "", "6CYL", 0, "D6 CYL LcdRPM", "ACV"},
        FunctionCase{"A71212340000D", "DWL", "<", "8CYL", 3, "D8 CYL D LCDBF DWL", "ACV"},
        FunctionCase{"A71312340000D", "DWL", "", "40 V", 3, "CYL D LCDBF DWL", "ACV"},
        FunctionCase{"A79F12340000D", "", "", "40 V", 0, "", "ACV"},
        // frequency: range code at position 9, range text emptied first
        FunctionCase{"A8FF12340000D", "FRQ", "Hz", "40Hz", 2, "lcdhz", "ACV"},
        FunctionCase{"A80012341000D", "FRQ", "Hz", "400Hz", 3, "lcdhz", "ACV"},
        FunctionCase{"A80012342000D", "FRQ", "kHz", "4kHz", 1, "lcdhz lcdkk", "ACV"},
        FunctionCase{"A80012343000D", "FRQ", "kHz", "40kHz", 2, "lcdhz lcdkk", "ACV"},
        FunctionCase{"A80012344000D", "FRQ", "kHz", "400kHz", 3, "lcdhz lcdkk", "ACV"},
        FunctionCase{"A80012345000D", "FRQ", "MHz", "4MHz", 1, "lcdhz LCDMM", "ACV"},
        FunctionCase{"A80012349000D", "FRQ", "Hz", "", 0, "lcdhz", "ACV"},
        // function code 9: nothing
        FunctionCase{"A9FF12340000D", "", "", "40 V", 0, "", "ACV"}));

// --- flags ---------------------------------------------------------------------------------------

struct FlagCase {
    const char* frame;
    const char* lit;
    bool minus;
    const char* autoManual;
};

[[maybe_unused]] void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << c.frame;
}

class Flags : public DecoderTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(Flags, LightTheirElements) {
    const FlagCase& c = GetParam();
    decode(c.frame);
    EXPECT_EQ(litNames(consumer.lcd), c.lit);
    EXPECT_EQ(consumer.lcd.minus, c.minus);
    EXPECT_EQ(decoder.reading().signText, c.minus ? "-" : "");
    EXPECT_EQ(decoder.reading().autoManualText, c.autoManual);
}

INSTANTIATE_TEST_SUITE_P(
    Positions10To12, Flags,
    ::testing::Values(FlagCase{"A90012340800D", "WEI", false, ""},
                      FlagCase{"A90012340400D", "", true, ""},
                      FlagCase{"A90012340200D", "LCDBATT", false, ""},
                      FlagCase{"A90012340080D", "LCDHold", false, ""},
                      FlagCase{"A90012340040D", "Labmax", false, ""},
                      FlagCase{"A90012340020D", "Labmin", false, ""},
                      FlagCase{"A90012340010D", "LcdAuto", false, "Auto"},
                      FlagCase{"A90012340008D", "LcdManu", false, "Manu"},
                      // AUTO and MANU together: both lit, the text says "Manu"
                      FlagCase{"A90012340019D", "LcdAuto LcdManu", false, "Manu"},
                      // the frequency display has no MANU sign, the reading still says "Manu"
                      FlagCase{"A80012340008D", "lcdhz", false, "Manu"},
                      FlagCase{"A90012340EFFD", "WEI LCDHold LCDBATT Labmax Labmin LcdAuto LcdManu",
                               true, "Manu"}));

// --- value text, overload and "open" ---------------------------------------------------------

struct ValueCase {
    const char* frame;
    const char* separator;
    const char* digits;  // D1..D4 joined with "|"
    const char* value;
    float nval;
    int needle;
    int bar;
    int chart;
};

[[maybe_unused]] void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.frame;
}

class ValueRules : public DecoderTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueRules, FormValueNvalNeedleBarAndChart) {
    const ValueCase& c = GetParam();
    decoder.setDecimalSeparator(c.separator);
    const DecodeOutcome& out = decode(c.frame);
    ASSERT_FALSE(out.failed) << out.message;
    const CurrentReading& r = decoder.reading();
    const std::string digits = r.digits[0].str() + "|" + r.digits[1].str() + "|" +
                               r.digits[2].str() + "|" + r.digits[3].str();
    EXPECT_EQ(digits, c.digits);
    EXPECT_EQ(r.valueText, c.value);
    EXPECT_EQ(r.nval, c.nval);
    EXPECT_EQ(consumer.needle, c.needle);
    EXPECT_EQ(out.barPosition, c.bar);
    EXPECT_EQ(consumer.barPosition, c.bar);
    EXPECT_EQ(consumer.chartValues, std::vector<int>{c.chart});
}

INSTANTIATE_TEST_SUITE_P(
    Displays, ValueRules,
    ::testing::Values(
        ValueCase{"A00012340010D", ",", "1|2|3|4", "1,234", 1234, 523, 12, 1234},
        ValueCase{"A00012340010D", " ,-", "1|2|3|4", "1 ,-234", 1234, 523, 12, 1234},
        ValueCase{"A00339990000D", ".", "3|9|9|9", "3999", 3999, 799, 39, 3999},
        ValueCase{"A00339990400D", ".", "3|9|9|9", "-3999", -3999, 1, 39, -3999},
        ValueCase{"A00200120000D", ".", "0|0|1|2", "001.2", 12, 401, 1, 12},
        // overload and minus in "40 V": the bar shows its maximum, the chart full scale
        ValueCase{"A00112340500D", ".", "  |0|@|  ", "-0@", -4001, 0, 40, -4000},
        ValueCase{"A00012340100D", ".", "  |0|@|  ", "0.@", 4001, 800, 40, 4000},
        // "open" wins over overload; the separator follows the lit point
        ValueCase{"A00012340101D", ".", "o|p|e|n", "o.pen", 0, 0, 0, 0},
        ValueCase{"A20212340001D", ",", "o|p|e|n", "op,en", 0, 0, 0, 0},
        // temperature: count mode "13", the whole count on the needle, bar maximum 10
        ValueCase{"A11001230000D", ".", "0|1|2|3", "0123", 123, 1123, 1, 123},
        ValueCase{"A11012340100D", ".", "  |0|@|  ", "0@", 1001, 2000, 10, 1000},
        ValueCase{"A11012340001D", ".", "o|p|e|n", "open", 0, 0, 0, 0},
        // capacitance: count mode "10", bar maximum and overload 100
        ValueCase{"A22105000000D", ".", "0|5|0|0", "050.0", 500, 1050, 5, 500},
        ValueCase{"A22112340500D", ".", "  |0|@|  ", "-0@", -1001, 0, 100, -1000}));

TEST_F(DecoderTest, ChoosesTheCountModePerFrame) {
    EXPECT_EQ(decode("A22012340000D").countMode->scale->mode, "10");
    EXPECT_EQ(consumer.barMaximum, 100);
    EXPECT_EQ(decode("A11012340000D").countMode->scale->mode, "13");
    EXPECT_EQ(consumer.barMaximum, 10);
    EXPECT_EQ(decode("A12012340000D").countMode->scale->mode, "13");
    EXPECT_EQ(decode("A20012340000D").countMode->scale->mode, "4");
    EXPECT_EQ(consumer.barMaximum, 40);
}

TEST_F(DecoderTest, RangeTextValueTextAndCaptionCarryOver) {
    decode("A00112340000D");  // DCV "40 V"
    decode("A11001230000D");  // temperature sets no range
    EXPECT_EQ(decoder.reading().rangeText, "40 V");
    EXPECT_EQ(decoder.reading().functionText, "TMP");
    EXPECT_EQ(consumer.lcd.modeCaption, "DCV");
    EXPECT_EQ(consumer.mode->scale->mode, "13");
    EXPECT_EQ(consumer.barMaximum, 10);

    // A frame driven in without its marks decodes no function and keeps the value text.
    decode("B00056780000C");
    EXPECT_EQ(decoder.reading().functionText, "");
    EXPECT_EQ(decoder.reading().rangeText, "40 V");
    EXPECT_EQ(decoder.reading().valueText, "0123");
    EXPECT_EQ(decoder.reading().nval, 5678.0f);
    EXPECT_EQ(consumer.lcd.digits[0], "5");
}

TEST_F(DecoderTest, NoChartPointWithoutARow) {
    consumer.appendRows = false;
    const DecodeOutcome& out = decode("A00012340010D");
    EXPECT_FALSE(out.rowAppended);
    EXPECT_EQ(consumer.takeCalls(),
              "frameMark frameText lcdApply scaleUpdate limitCheck recordReading barGraph");
}

// --- conversion failures -------------------------------------------------------------------------

struct FailureCase {
    const char* frame;
    int step;
    const char* message;
    const char* calls;
};

[[maybe_unused]] void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.frame;
}

class Failures : public DecoderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, EndTheFrameAtTheFailingStep) {
    const FailureCase& c = GetParam();
    decode("A00112340000D");
    const float nvalBefore = decoder.reading().nval;
    consumer.calls.clear();
    const DecodeOutcome& out = decoder.decode(c.frame);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.failedStep, c.step);
    EXPECT_EQ(out.message, c.message);
    EXPECT_EQ(consumer.messages.back(), c.message);
    EXPECT_EQ(consumer.takeCalls(), c.calls);
    EXPECT_FALSE(out.rowAppended);
    if (c.step < 11) {
        EXPECT_EQ(decoder.reading().nval, nvalBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Failures,
    ::testing::Values(FailureCase{"A0G012340000D", 2, "'G' is not a valid integer value",
                                  "frameMark conversionFailed"},
                      FailureCase{"A00012", 2, "'' is not a valid integer value",
                                  "frameMark conversionFailed"},
                      FailureCase{"AB0012340000D", 5, "'B' is not a valid integer value",
                                  "frameMark frameText conversionFailed"},
                      FailureCase{"A00A12340000D", 5, "'A' is not a valid integer value",
                                  "frameMark frameText conversionFailed"},
                      FailureCase{"A2C012340000D", 5, "'C' is not a valid integer value",
                                  "frameMark frameText conversionFailed"},
                      FailureCase{"A7F012340000D", 5, "'F' is not a valid integer value",
                                  "frameMark frameText conversionFailed"},
                      FailureCase{"A8001234B000D", 5, "'B' is not a valid integer value",
                                  "frameMark frameText conversionFailed"},
                      FailureCase{"A000A2340010D", 10, "'A23' is not a valid integer value",
                                  "frameMark frameText lcdApply scaleUpdate conversionFailed"},
                      FailureCase{"A000123A0010D", 11, "'123A' is not a valid integer value",
                                  "frameMark frameText lcdApply scaleUpdate conversionFailed"},
                      FailureCase{"A000-1234010D", 2, "'-' is not a valid integer value",
                                  "frameMark conversionFailed"},
                      // capacitance has no "open" rule on its needle
                      FailureCase{"A22012340001D", 10, "'ope' is not a valid integer value",
                                  "frameMark frameText lcdApply scaleUpdate conversionFailed"}));

TEST_F(DecoderTest, AFailedFunctionCodeLightsNothingAndKeepsTheShownState) {
    decode("A00112340000D");
    decode("AB0012340000D");
    EXPECT_EQ(litNames(decoder.lcdState()), "");
    EXPECT_EQ(consumer.lcdApplied, 1);  // the LCD still shows the frame before
    EXPECT_EQ(decoder.reading().rangeText, "40 V");
}

TEST_F(DecoderTest, ALetterDigitIsShownBeforeTheNumericStepsFailOnIt) {
    decode("A000A2340010D");
    EXPECT_EQ(consumer.lcd.digits[0], "A");
    EXPECT_EQ(decoder.reading().valueText, "A.234");
    EXPECT_EQ(consumer.needle, 400);  // the face is drawn with the needle at zero
    EXPECT_EQ(consumer.recorded, 0);

    // The frequency range code is read after the range text was emptied.
    decode("A8001234B000D");
    EXPECT_EQ(decoder.reading().rangeText, "");
    EXPECT_EQ(decoder.reading().functionText, "FRQ");

    // The next good frame decodes normally.
    EXPECT_FALSE(decode("A00012340010D").failed);
    EXPECT_EQ(consumer.recorded, 1);
}

}  // namespace

namespace {

// The grid sizes its columns by the lists of texts: every function and range code the decoder
// knows, under every sub-function and flag, must give a text that is in them.
TEST(DecoderTexts, EveryFunctionAndRangeTextIsListed) {
    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    const char* const hex = "0123456789ABCDEF";
    std::set<std::string> functions;
    std::set<std::string> ranges;
    std::string frame = "A00000000000D";
    for (int function = 0; function < 16; ++function) {
        for (int sub = 0; sub < 16; ++sub) {
            for (int range = 0; range < 16; ++range) {
                for (int flags = 0; flags < 16; ++flags) {
                    frame[1] = hex[function];
                    frame[2] = hex[sub];
                    frame[3] = hex[range];
                    frame[8] = hex[range];  // where the frequency keeps its range
                    frame[10] = hex[flags];
                    decoder.decode(frame);
                    functions.insert(std::string(decoder.reading().functionText.view()));
                    ranges.insert(std::string(decoder.reading().rangeText.view()));
                }
            }
        }
    }
    for (const std::string& f : functions) {
        EXPECT_TRUE(f.empty() ||
                    std::find(kDecoderFunctionTexts.begin(), kDecoderFunctionTexts.end(), f) !=
                        kDecoderFunctionTexts.end())
            << "function text \"" << f << "\" is not listed";
    }
    for (const std::string& r : ranges) {
        EXPECT_TRUE(r.empty() || std::find(kDecoderRangeTexts.begin(), kDecoderRangeTexts.end(),
                                           r) != kDecoderRangeTexts.end())
            << "range text \"" << r << "\" is not listed";
    }
    // And nothing listed is out of the decoder's reach.
    for (std::string_view f : kDecoderFunctionTexts) {
        EXPECT_EQ(functions.count(std::string(f)), 1u) << f;
    }
    for (std::string_view r : kDecoderRangeTexts) {
        EXPECT_EQ(ranges.count(std::string(r)), 1u) << r;
    }
}

}  // namespace
