#include "recording/quantity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "meter/frame_decoder.h"

namespace {

// Every function, sub-function and range row of the decoder, decoded from a real frame with the
// digits 1 2 3 4 (or the overload, "open" and minus flags), and the quantity of the reading.
struct Case {
    const char* what;
    const char* frame;  // NibbleFrame
    const char* separator;
    const char* quantity;
    const char* siUnit;
    std::optional<double> value;
    ReadingFlag flag;
};

class QuantityOfDecodedFrames : public testing::TestWithParam<Case> {};

TEST_P(QuantityOfDecodedFrames, GiveTheQuantityTheMeterShows) {
    const Case& c = GetParam();
    ReadingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, c.separator);
    decoder.decode(c.frame);
    const CurrentReading& r = decoder.reading();
    SCOPED_TRACE(std::string(r.functionText.view()) + " | " + std::string(r.valueText.view()) +
                 " | " + std::string(r.unitText.view()));
    const Quantity q = quantityOf(r.functionText.view(), r.valueText.view(), r.unitText.view());
    EXPECT_EQ(q.name, c.quantity);
    EXPECT_EQ(q.siUnit, c.siUnit);
    EXPECT_EQ(q.flag, c.flag);
    ASSERT_EQ(q.value.has_value(), c.value.has_value());
    if (c.value) {
        // Exactly the double the decimal text reads as: the value is written back exactly.
        EXPECT_EQ(*q.value, *c.value);
    }
}

constexpr ReadingFlag kNone = ReadingFlag::None;

// Positions: A, function, sub, range, D1-D4, frequency range, flags 10, 11, 12, D.
INSTANTIATE_TEST_SUITE_P(
    EveryRow, QuantityOfDecodedFrames,
    testing::Values(
        Case{"DCV 4 V", "A00012340010D", ".", "voltage_dc", "V", 1.234, kNone},
        Case{"DCV 40 V", "A00112340000D", ".", "voltage_dc", "V", 12.34, kNone},
        Case{"DCV 400 V", "A00212340000D", ".", "voltage_dc", "V", 123.4, kNone},
        Case{"DCV 1000 V", "A00312340000D", ".", "voltage_dc", "V", 1234, kNone},
        Case{"ACV 4 V, comma", "A01012340000D", ",", "voltage_ac", "V", 1.234, kNone},
        Case{"DCmv 400", "A10012340000D", ".", "voltage_dc", "V", 0.1234, kNone},
        Case{"DCmv 40", "A10112340000D", ".", "voltage_dc", "V", 0.01234, kNone},
        Case{"mV other range", "A10712340000D", ".", "", "", std::nullopt, ReadingFlag::Invalid},
        Case{"TMP degC", "A11000250000D", ".", "temperature", "\u00B0C", 25, kNone},
        Case{"TMP degF", "A12000770000D", ".", "temperature", "\u00B0F", 77, kNone},
        Case{"OHM 400", "A20012340000D", ".", "resistance", "\u03A9", 123.4, kNone},
        Case{"OHM 4k", "A20141230000D", ".", "resistance", "\u03A9", 4123, kNone},
        Case{"OHM 40k", "A20212340000D", ".", "resistance", "\u03A9", 12340, kNone},
        Case{"OHM 400k", "A20312340000D", ".", "resistance", "\u03A9", 123400, kNone},
        Case{"OHM 4M", "A20412340000D", ".", "resistance", "\u03A9", 1234000, kNone},
        Case{"OHM 40M", "A20512340000D", ".", "resistance", "\u03A9", 12340000, kNone},
        Case{"OHM other range: no unit, no scale", "A20812340000D", ".", "resistance", "\u03A9",
             std::nullopt, ReadingFlag::Invalid},
        Case{"CTN", "A21012340000D", ".", "continuity", "\u03A9", 123.4, kNone},
        Case{"CAP 10 nF", "A22012340000D", ".", "capacitance", "F", 1.234e-08, kNone},
        Case{"CAP 100 nF", "A22112340000D", ".", "capacitance", "F", 1.234e-07, kNone},
        Case{"CAP 1000 nF", "A22212340000D", ".", "capacitance", "F", 1.234e-06, kNone},
        Case{"CAP 10 uF", "A22312340000D", ".", "capacitance", "F", 1.234e-05, kNone},
        Case{"CAP 100 uF", "A22412340000D", ".", "capacitance", "F", 1.234e-04, kNone},
        Case{"diode", "A30007120000D", ".", "diode", "V", 0.712, kNone},
        Case{"DCmA 40", "A40012340000D", ".", "current_dc", "A", 0.01234, kNone},
        Case{"DCmA 400", "A40112340000D", ".", "current_dc", "A", 0.1234, kNone},
        Case{"ACmA 40", "A41012340000D", ".", "current_ac", "A", 0.01234, kNone},
        Case{"ACmA 400", "A41112340000D", ".", "current_ac", "A", 0.1234, kNone},
        Case{"DCuA 400", "A50012340000D", ".", "current_dc", "A", 1.234e-04, kNone},
        Case{"DCuA 4000", "A50112340000D", ".", "current_dc", "A", 1.234e-03, kNone},
        Case{"ACuA 400", "A51012340000D", ".", "current_ac", "A", 1.234e-04, kNone},
        Case{"ACuA 4000", "A51112340000D", ".", "current_ac", "A", 1.234e-03, kNone},
        Case{"DCA 4", "A60012340000D", ".", "current_dc", "A", 1.234, kNone},
        Case{"DCA 10", "A60112340000D", ".", "current_dc", "A", 12.34, kNone},
        Case{"ACA 4", "A61012340000D", ".", "current_ac", "A", 1.234, kNone},
        Case{"ACA 10", "A61112340000D", ".", "current_ac", "A", 12.34, kNone},
        Case{"RPM 4CYL", "A70012340000D", ".", "engine_speed", "rpm", 1234, kNone},
        Case{"RPM 8CYL", "A70212340000D", ".", "engine_speed", "rpm", 1234, kNone},
        Case{"DWL 6CYL", "A71112340000D", ".", "dwell", "\u00B0", 123.4, kNone},
        Case{"DWL other range, no sign", "A71712340000D", ".", "dwell", "\u00B0", 123.4, kNone},
        Case{"FRQ 40Hz", "A80012340000D", ".", "frequency", "Hz", 12.34, kNone},
        Case{"FRQ 400Hz", "A80012341000D", ".", "frequency", "Hz", 123.4, kNone},
        Case{"FRQ 4kHz", "A80012342000D", ".", "frequency", "Hz", 1234, kNone},
        Case{"FRQ 40kHz", "A80012343000D", ".", "frequency", "Hz", 12340, kNone},
        Case{"FRQ 400kHz", "A80012344000D", ".", "frequency", "Hz", 123400, kNone},
        Case{"FRQ 4MHz", "A80012345000D", ".", "frequency", "Hz", 1234000, kNone},
        Case{"FRQ other range", "A80012349000D", ".", "frequency", "Hz", 1234, kNone},
        Case{"no function", "A90012340000D", ".", "", "", std::nullopt, ReadingFlag::Invalid},
        Case{"minus", "A00012340400D", ".", "voltage_dc", "V", -1.234, kNone},
        Case{"minus zero is zero", "A00000000400D", ".", "voltage_dc", "V", 0.0, kNone},
        Case{"overload, point 1", "A00012340100D", ".", "voltage_dc", "V", std::nullopt,
             ReadingFlag::Overload},
        Case{"overload, point 2, comma", "A00112340100D", ",", "voltage_dc", "V", std::nullopt,
             ReadingFlag::Overload},
        Case{"negative overload", "A20112340500D", ".", "resistance", "\u03A9", std::nullopt,
             ReadingFlag::NegativeOverload},
        Case{"open, point 3", "A20012340001D", ".", "resistance", "\u03A9", std::nullopt,
             ReadingFlag::Open},
        Case{"open, no point", "A20312340001D", ".", "resistance", "\u03A9", std::nullopt,
             ReadingFlag::Open},
        Case{"open over overload", "A21012340101D", ",", "continuity", "\u03A9", std::nullopt,
             ReadingFlag::Open}),
    [](const testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p) {
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        }
        return name;
    });

TEST(Quantity, ValueTextsThatAreNotNumbersAreInvalid) {
    for (const char* text : {"", "-", ".", "1.2.3", "1a23", "12 34", "0.@x", "opne", "o..pen",
                             "1e3", "+1", "\xB5", "123456789012345678901234"}) {
        SCOPED_TRACE(text);
        const Quantity q = quantityOf("DCV", text, "V");
        EXPECT_EQ(q.flag, ReadingFlag::Invalid);
        EXPECT_FALSE(q.value);
        EXPECT_EQ(q.name, "voltage_dc");
    }
    // Blanks around a number are no harm; long exact numbers still read back exactly.
    EXPECT_EQ(quantityOf("DCV", " 1.5 ", "V").value, 1.5);
    EXPECT_EQ(quantityOf("OHM", "12345678901234567.89", "M *").value, 12345678901234567.89e6);
}

TEST(Quantity, FlagsAndFunctionsReadBack) {
    for (const ReadingFlag f :
         {ReadingFlag::None, ReadingFlag::Overload, ReadingFlag::NegativeOverload,
          ReadingFlag::Open, ReadingFlag::Invalid}) {
        EXPECT_EQ(readingFlagOfText(readingFlagText(f)), f);
    }
    EXPECT_EQ(readingFlagOfText("ol"), std::nullopt);
    EXPECT_EQ(functionTextOf("voltage_dc", "mV"), "DCmv");
    EXPECT_EQ(functionTextOf("current_ac", "uA"), "ACuA");
    EXPECT_EQ(functionTextOf("resistance", ""), "OHM");
    EXPECT_EQ(functionTextOf("continuity", ""), "CTN");
    EXPECT_EQ(functionTextOf("pressure", "bar"), "");
}

}  // namespace
