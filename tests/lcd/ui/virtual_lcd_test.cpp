#include "lcd/ui/virtual_lcd.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

#include "lcd/ui/seven_segment.h"

namespace {

TEST(VirtualLcd, BeforeTheFirstFrameShowsThreeNineNineNineAndNothingElse) {
    VirtualLcd lcd;
    EXPECT_EQ(lcd.digitText(0) + lcd.digitText(1) + lcd.digitText(2) + lcd.digitText(3),
              QStringLiteral("3999"));
    for (int i = 0; i < static_cast<int>(kLcdElementCount); ++i) {
        EXPECT_FALSE(lcd.isShown(static_cast<LcdElement>(i))) << i;
    }
    EXPECT_EQ(lcd.point(), 0);
    EXPECT_FALSE(lcd.minusShown());
    EXPECT_FALSE(lcd.failureNotice()->isVisibleTo(&lcd));
    EXPECT_EQ(lcd.size(), QSize(425, 206));
}

TEST(VirtualLcd, ShowsExactlyTheAppliedStateAndPaintsIt) {
    VirtualLcd lcd;
    LcdState state;
    state.digits = {"  ", "0", "@", "  "};
    state.minus = true;
    state.point = 3;
    state.modeCaption = "DCV";
    for (LcdElement e : {LcdElement::LcdDc1, LcdElement::LcdV, LcdElement::dd4, LcdElement::dd00,
                         LcdElement::dd10, LcdElement::LCDVV, LcdElement::LCDsend}) {
        state.light(e);
    }
    lcd.apply(state);
    EXPECT_TRUE(lcd.isShown(LcdElement::LcdV));
    EXPECT_TRUE(lcd.isShown(LcdElement::dd10));
    EXPECT_FALSE(lcd.isShown(LcdElement::LcdAuto));
    EXPECT_EQ(lcd.modeCaption(), QStringLiteral("DCV"));
    EXPECT_EQ(lcd.digitText(2), QStringLiteral("@"));
    EXPECT_TRUE(lcd.minusShown());
    EXPECT_EQ(lcd.point(), 3);

    // Painting every element at once must work at the panel's size and when enlarged.
    for (int i = 0; i < static_cast<int>(kLcdElementCount); ++i) {
        state.light(static_cast<LcdElement>(i));
    }
    lcd.apply(state);
    const QImage normal = lcd.grab().toImage();
    EXPECT_EQ(normal.size(), QSize(425, 206));
    lcd.setFixedSize(850, 412);
    EXPECT_EQ(lcd.grab().toImage().size(), QSize(850, 412));
}

TEST(VirtualLcd, BadFramesAreCountedWithTheLastMessageAsToolTip) {
    VirtualLcd lcd;
    lcd.noteConversionFailure(QStringLiteral("'A' is not a valid integer value"));
    lcd.noteConversionFailure(QStringLiteral("'B' is not a valid integer value"));
    EXPECT_EQ(lcd.failedFrames(), 2);
    EXPECT_TRUE(lcd.failureNotice()->isVisibleTo(&lcd));
    EXPECT_EQ(lcd.failureNotice()->text(), QStringLiteral("2 bad frames"));
    EXPECT_EQ(lcd.failureNotice()->toolTip(),
              QStringLiteral("last bad frame: 'B' is not a valid integer value"));
    // Its text ends as far from the panel's right edge as the connection notice starts from
    // the left one, and the two never overlap.
    const QRect place = lcd.failureNotice()->geometry();
    EXPECT_EQ(VirtualLcd::kWidth - 1 - place.right(), lcd.connectionNotice()->geometry().left());
    EXPECT_GE(place.width(), lcd.failureNotice()->sizeHint().width());
    EXPECT_FALSE(place.intersects(lcd.connectionNotice()->geometry()));
}

// The journal's notice and the outputs' line share a row: shown together they do not overlap, and
// the journal's notice takes the whole row again once the line goes.
TEST(VirtualLcd, TheJournalNoticeMakesRoomForTheOutputsLine) {
    VirtualLcd lcd;
    lcd.show();
    const QString why = QStringLiteral(
        "The journal cannot be written: /home/user/.local/state/halvern/journal: No space left "
        "on device; the readings are not protected against a crash");
    lcd.showJournalNotice(why, QString());
    const QRect alone = lcd.journalNotice()->geometry();
    lcd.showOutputsNotice(QStringLiteral("MQTT: unreachable, 14 waiting"), QString(), true);
    const QRect beside = lcd.journalNotice()->geometry();
    EXPECT_FALSE(beside.intersects(lcd.outputsNotice()->geometry()));
    EXPECT_GT(beside.width(), 100);
    EXPECT_LE(
        QFontMetrics(lcd.journalNotice()->font()).horizontalAdvance(lcd.journalNotice()->text()),
        beside.width());
    EXPECT_EQ(lcd.journalNotice()->toolTip(), why);
    lcd.showOutputsNotice(QString(), QString(), false);
    EXPECT_EQ(lcd.journalNotice()->geometry(), alone);
}

TEST(SevenSegment, CharactersTheDecoderProducesHaveTheirSegments) {
    // a b c d e f g = bits 0..6
    const struct {
        char c;
        std::uint8_t segments;
    } cases[] = {
        {'0', 0x3F}, {'1', 0x06}, {'8', 0x7F}, {'A', 0x77}, {'b', 0x7C}, {'F', 0x71},
        {'o', 0x5C}, {'p', 0x73}, {'e', 0x7B}, {'n', 0x54}, {'@', 0x38}, {' ', 0x00},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SevenSegment::segmentsFor(c.c), c.segments) << c.c;
    }
}

}  // namespace
