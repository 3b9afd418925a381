#include "recording/ui/glyph_text.h"

#include <gtest/gtest.h>

TEST(GlyphText, ShowsTheSymbolsTheGlyphCharactersStandFor) {
    struct Case {
        const char* stored;
        const char16_t* shown;
    };
    const Case cases[] = {
        {"K *", u"K \u03A9"},      // kilo-ohm unit
        {"400 *", u"400 \u03A9"},  // resistance range
        {"#", u"\u00B0C"},         // temperature, sub-function 1
        {"?", u"\u00B0F"},         // temperature, sub-function 2
        {")", u"\u25B6|"},         // diode function
        {"<", u"\u2220\u00B0"},    // dwell unit
        {"-0.@", u"-0.L"},         // overload display
        {"DCV", u"DCV"},           // plain letters stay
        {"400 mv", u"400 mv"},    {"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(glyphDisplayText(c.stored), QString::fromUtf16(c.shown)) << c.stored;
    }
}

TEST(GlyphText, TakesForeignBytesAsLatin1) {
    // Files from elsewhere may hold any 8-bit text; it must show, never fail.
    EXPECT_EQ(glyphDisplayText("\xB5V"), QString::fromUtf16(u"\u00B5V"));
    EXPECT_EQ(plainText("a*b"), QStringLiteral("a*b"));
}
