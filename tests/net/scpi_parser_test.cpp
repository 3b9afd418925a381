#include "net/scpi_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FakeInstrument final : public ScpiInstrument {
public:
    std::string serial() const override { return "ABC123"; }
    std::string version() const override { return "2.0.0"; }
    std::optional<Reading> lastReading() const override { return reading; }
    std::optional<Reading> reading;
};

TEST(ScpiParserTest, CommandsAndTheirAnswers) {
    FakeInstrument meter;
    meter.reading =
        ScpiInstrument::Reading{ScpiInstrument::Reading::Overload::None, 0.001236, "DCV", "V"};
    struct Case {
        const char* label;
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"identity", "*IDN?", "Halvern,Interface Program,ABC123,2.0.0\n"},
        {"identity lower case with CR", "*idn?\r", "Halvern,Interface Program,ABC123,2.0.0\n"},
        {"read", "READ?", "1.236000E-03\n"},
        {"measure long form", "measure?", "1.236000E-03\n"},
        {"fetch with leading colon", ":FETCh?", "1.236000E-03\n"},
        {"configuration", "CONF?", "\"DCV,V\"\n"},
        {"joined", "READ?;*IDN? ; conf?",
         "1.236000E-03;Halvern,Interface Program,ABC123,2.0.0;\"DCV,V\"\n"},
        {"no error", "SYST:ERR?", "0,\"No error\"\n"},
        {"long error form", "system:error:next?", "0,\"No error\"\n"},
        {"no query", "*CLS", ""},
        {"empty", "", ""},
        {"only separators", " ; ;", ""},
        {"wrong level count", "SYST?", ""},
        {"half a long form", "MEASU?", ""},
    };
    for (const Case& c : cases) {
        ScpiParser parser(meter);
        EXPECT_EQ(parser.handleLine(c.line), c.answer) << c.label;
    }
}

TEST(ScpiParserTest, OverloadsAndNoReadingYet) {
    FakeInstrument meter;
    ScpiParser parser(meter);
    EXPECT_EQ(parser.handleLine("READ?"), "9.91E37\n");
    EXPECT_EQ(parser.handleLine("SYST:ERR?"), "-230,\"Data corrupt or stale\"\n");
    meter.reading =
        ScpiInstrument::Reading{ScpiInstrument::Reading::Overload::Positive, 0, "OHM", "Ohm"};
    EXPECT_EQ(parser.handleLine("READ?"), "9.9E37\n");
    meter.reading->overload = ScpiInstrument::Reading::Overload::Negative;
    EXPECT_EQ(parser.handleLine("MEAS?"), "-9.9E37\n");
}

TEST(ScpiParserTest, UnknownHeadersQueueErrorsOldestFirstAndBounded) {
    FakeInstrument meter;
    ScpiParser parser(meter);
    EXPECT_EQ(parser.handleLine("VOLT?;*IDN"), "");
    EXPECT_EQ(parser.errorCount(), 2u);
    EXPECT_EQ(parser.handleLine("SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-113,\"Undefined header\";-113,\"Undefined header\";0,\"No error\"\n");
    for (int i = 0; i < 100; ++i) {
        parser.handleLine("NOPE");
    }
    EXPECT_EQ(parser.errorCount(), ScpiParser::kMaxErrors);
    std::string last;
    for (std::size_t i = 0; i < ScpiParser::kMaxErrors; ++i) {
        last = parser.handleLine("SYST:ERR?");
    }
    EXPECT_EQ(last, "-350,\"Queue overflow\"\n");
    parser.handleLine("NOPE");
    parser.handleLine("*cls");
    EXPECT_EQ(parser.handleLine("SYST:ERR?"), "0,\"No error\"\n");
}

}  // namespace
