#include "display/ui/analog_scale.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <string>

namespace {

constexpr ScaleParams kMode4{"4", 4000, 400, 80};
constexpr ScaleParams kMode10{"10", 1000, 1000, 200};
const FrameCountMode kFrame4{&kMode4, 40, 40};
const FrameCountMode kFrame10{&kMode10, 100, 100};
constexpr ScaleParams kMode13{"13", 1000, 1000, 200};
const FrameCountMode kFrame13{&kMode13, 10, 100};

QPoint canvasPointOfDot(const AnalogScale& scale, int j, int dots) {
    const ScalePoint b = scale.geometry().pointAt(scale.geometry().radius() + 3.0f, j, dots);
    return {b.x + 1, b.y + 1};
}

CurrentReading readingOf(float nval) {
    CurrentReading r;
    r.nval = nval;
    r.unitText = "V";
    r.valueText = "2.500";
    return r;
}

TEST(AnalogScale, KeptFacesHaveThePixelsOfAFaceDrawnAnew) {
    AnalogScale scale;
    scale.scaleUpdate(kFrame10, 1000);
    scale.scaleUpdate(kFrame4, 400);
    scale.limits().setMaxEnabled(true);
    scale.limits().SetmaxExit("2000");
    scale.limitsChanged();
    scale.limits().setMaxEnabled(false);
    scale.limitsChanged();
    // Back to a face that was drawn before: the kept copy, plus the needle wiped by KDsetup.
    scale.KDsetup();
    EXPECT_EQ(scale.canvas(), AnalogScale::drawFace(scale.geometry(), kMode4, scale.limits()));
    scale.setScaleParams(kMode10);
    scale.KDsetup();
    EXPECT_EQ(scale.canvas(), AnalogScale::drawFace(scale.geometry(), kMode10, scale.limits()));
}

TEST(AnalogScale, NeedleFollowsTheFrameAndTheModeChoosesTheFace) {
    AnalogScale scale;
    scale.scaleUpdate(kFrame4, 799);  // 3999 counts
    EXPECT_EQ(scale.lastNeedle(), scale.geometry().needle(799, 80));
    scale.scaleUpdate(kFrame10, 2000);  // capacitance, right end of 2001 dots
    EXPECT_EQ(scale.scaleParams().mode, "10");
    EXPECT_EQ(scale.lastNeedle().tip, (ScalePoint{351, 117}));
    // The old needle is gone, the new one is black.
    const NeedleLine n = scale.lastNeedle();
    const QPoint nearTip(n.tip.x, n.tip.y);
    EXPECT_EQ(scale.canvas().pixelColor(nearTip), QColor(Qt::black));
    scale.scaleUpdate(kFrame4, 400);
    EXPECT_EQ(scale.lastNeedle().tip, (ScalePoint{186, 34}));
    EXPECT_NE(scale.canvas().pixelColor(nearTip), QColor(Qt::black));
}

TEST(AnalogScale, EnabledMaximumTurnsTheArcRedBeyondItAndTheAlarmSounds) {
    AnalogScale scale;
    int beeps = 0;
    scale.setBeep([&beeps] { ++beeps; });
    scale.scaleUpdate(kFrame4, 400);
    const QPoint beyond = canvasPointOfDot(scale, 700, 800);
    const QPoint within = canvasPointOfDot(scale, 500, 800);
    EXPECT_EQ(scale.canvas().pixelColor(beyond), QColor(Qt::black));

    scale.limits().SetmaxExit("2000");
    scale.limits().setMaxEnabled(true);
    scale.limitsChanged();
    EXPECT_EQ(scale.canvas().pixelColor(beyond), QColor(Qt::red));
    EXPECT_EQ(scale.canvas().pixelColor(within), QColor(Qt::black));

    scale.limitCheck(readingOf(2500.0f), kFrame4);
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(scale.alarmSign()->isVisibleTo(&scale));
    EXPECT_EQ(scale.alarmSign()->text(), QStringLiteral("OL !!"));
    EXPECT_TRUE(QRect(0, 0, 371, 143).contains(scale.alarmSign()->geometry()));
    scale.limitCheck(readingOf(2000.0f), kFrame4);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(scale.alarmSign()->isVisibleTo(&scale));
}

TEST(AnalogScale, TheAlarmSignHidesNothingOfAnyFaceOrNeedle) {
    AnalogScale scale;
    scale.limits().setMaxEnabled(true);
    scale.limits().SetmaxExit("0");
    scale.limitsChanged();
    QLabel* sign = scale.alarmSign();
    const QRect place = sign->geometry();
    EXPECT_TRUE(QRect(0, 0, 371, 143).contains(place));
    EXPECT_GE(place.width(), QFontMetrics(sign->font()).horizontalAdvance(sign->text()));
    EXPECT_GE(place.height(), QFontMetrics(sign->font()).height());
    const QRect covered = place.translated(-AnalogScale::kCanvasOrigin) &
                          QRect(QPoint(0, 0), AnalogScale::kCanvasSize);
    for (const FrameCountMode* mode : {&kFrame4, &kFrame10, &kFrame13}) {
        const int span = 10 * mode->scale->scaleSteps;
        for (int v = -span / 10; v <= span + span / 10; v += 2) {  // a little beyond both ends
            scale.scaleUpdate(*mode, v);
            for (int y = covered.top(); y <= covered.bottom(); ++y) {
                for (int x = covered.left(); x <= covered.right(); ++x) {
                    ASSERT_EQ(scale.canvas().pixelColor(x, y), QColor(Qt::white))
                        << "mode " << mode->scale->mode << ", needle " << v << " at " << x << ","
                        << y;
                }
            }
        }
    }
}

}  // namespace

namespace {

// Each count mode's face rendered offscreen at several pixel ratios: no label reaches the
// face's edge (before, "-1000" lost its minus and "1000" its last zero), and the face is drawn
// at the screen's own pixels, not scaled up.
TEST(AnalogScaleFaces, EveryLabelLiesInsideTheFaceAtEveryPixelRatio) {
    const ScaleGeometry geometry(AnalogScale::kWidth, AnalogScale::kHeight);
    const ScaleLimits limits;
    constexpr ScaleParams kModes[] = {{"4", 4000, 400, 80},
                                      {"6", 6000, 600, 120},
                                      {"34", 3400, 340, 68},
                                      {"10", 1000, 1000, 200},
                                      {"13", 1000, 1000, 200}};
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        for (const ScaleParams& mode : kModes) {
            SCOPED_TRACE(std::string(mode.mode) + " at ratio " + std::to_string(ratio));
            const QImage face = AnalogScale::drawFace(geometry, mode, limits, ratio);
            ASSERT_EQ(face.devicePixelRatio(), ratio);
            ASSERT_EQ(face.size(), AnalogScale::kCanvasSize * ratio);
            const int band = static_cast<int>(AnalogScale::kLabelMargin * ratio);
            int ink = 0;
            for (int y = 0; y < face.height(); ++y) {
                for (int x = 0; x < face.width(); ++x) {
                    const bool edge = x < band || y < band || x >= face.width() - band ||
                                      y >= face.height() - band;
                    const bool white = face.pixel(x, y) == qRgb(255, 255, 255);
                    ink += white ? 0 : 1;
                    if (edge && !white) {
                        ADD_FAILURE() << "ink at the edge, " << x << "," << y;
                        return;
                    }
                }
            }
            EXPECT_GT(ink, 0);
        }
    }
    // At ratio 2 the arc is smoothed at the screen's pixels: grey between black and white.
    const QImage sharp = AnalogScale::drawFace(geometry, kModes[0], limits, 2.0);
    bool grey = false;
    for (int y = 0; y < sharp.height() && !grey; ++y) {
        for (int x = 0; x < sharp.width() && !grey; ++x) {
            const QRgb c = sharp.pixel(x, y);
            grey = qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) > 40 && qRed(c) < 215;
        }
    }
    EXPECT_TRUE(grey);
}

TEST(AnalogScaleFaces, TheLabelsOfTheTemperatureFaceAreWhole) {
    // The end labels' whole width is drawn: the leftmost ink of "-1000" and the rightmost of
    // "1000" lie as far apart as the texts need.
    const ScaleGeometry geometry(AnalogScale::kWidth, AnalogScale::kHeight);
    const QImage face = AnalogScale::drawFace(geometry, {"13", 1000, 1000, 200}, ScaleLimits());
    int left = face.width();
    int right = -1;
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            if (face.pixel(x, y) != qRgb(255, 255, 255)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GE(left, AnalogScale::kLabelMargin);
    EXPECT_LT(right, face.width() - AnalogScale::kLabelMargin);
}

}  // namespace
