#include "net/lcd_state_message.h"

#include <gtest/gtest.h>

#include <string>

#include "meter/clock.h"
#include "meter/frame_decoder.h"

namespace {

// The state message of what the decoder makes of each frame.
TEST(LcdStateMessageTest, FramesAsTheBrokerSeesThem) {
    struct Case {
        const char* what;
        const char* frame;
        const char* json;
    };
    const Case cases[] = {
        {"DC volts, 40 V, AUTO", "A00112340010D",
         R"({"display":"12.34","unit":"V","mode":"DCV","range":"40v","annunciators":["AUTO"]})"},
        {"minus and overload in 400 V", "A00212340500D",
         R"({"display":"-0L.","unit":"V","mode":"DCV","range":"400v","annunciators":[]})"},
        {"4 Mohm with HOLD, MAX and low battery", "A204012302C0D",
         R"({"display":"0.123","unit":"MΩ","mode":"","range":"4",)"
         R"("annunciators":["HOLD","LOW_BATTERY","MAX"]})"},
        {"kHz with MANU, whose sign stays dark", "A80012342008D",
         R"({"display":"1.234","unit":"kHz","mode":"","range":"","annunciators":[]})"},
        {"engine speed, 6 cylinders", "A70104560010D",
         R"({"display":"0456","unit":"","mode":"","range":"",)"
         R"("annunciators":["AUTO","RPMx10","6CYL"]})"},
        {"open input, 400 ohm", "A20000000001D",
         R"({"display":"ope.n","unit":"Ω","mode":"","range":"400","annunciators":[]})"},
        {"degrees Celsius, high voltage sign", "A11002500800D",
         R"({"display":"0250","unit":"°C","mode":"","range":"",)"
         R"("annunciators":["HIGH_VOLTAGE"]})"},
        {"millivolts, MIN", "A10012340020D",
         R"({"display":"123.4","unit":"mV","mode":"DCV","range":"400mv","annunciators":["MIN"]})"},
        {"microfarads", "A22312340000D",
         R"({"display":"12.34","unit":"µF","mode":"","range":"10","annunciators":[]})"},
    };
    ReadingConsumer none;
    FixedClock clock;
    FrameDecoder decoder(none, clock, ",");  // the message's point is "." whatever the locale
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        decoder.decode(c.frame);
        std::string out = "x";  // appended to
        appendLcdStateJson(decoder.lcdState(), out);
        EXPECT_EQ(out, std::string("x") + c.json);
    }
}

}  // namespace
