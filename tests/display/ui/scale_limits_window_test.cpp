#include "display/ui/scale_limits_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "display/ui/analog_scale.h"

namespace {

struct LimitsWindowFixture : ::testing::Test {
    AnalogScale scale;
    ScaleLimitsWindow window{scale};
    QStringList reports;

    void SetUp() override {
        window.setErrorReporter([this](const QString& m) { reports << m; });
    }
    void enter(QLineEdit* edit, const QString& typed) {
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(LimitsWindowFixture, StartsWithTheModesTextsAndDisabledLimits) {
    EXPECT_EQ(window.setmaxEdit()->text(), QStringLiteral("4000"));
    EXPECT_EQ(window.setMinEdit()->text(), QStringLiteral("-4000"));
    EXPECT_FALSE(window.setMaxBox()->isChecked());
    EXPECT_EQ(window.setMaxBox()->text(), QStringLiteral("SetMax:"));
    EXPECT_EQ(window.maxText()->text(), QStringLiteral("-4001"));
    EXPECT_EQ(window.minText()->text(), QStringLiteral("4001"));
}

TEST_F(LimitsWindowFixture, OnlyDigitsAndSignsReachTheEditsAndLoneSignsMeanZero) {
    enter(window.setmaxEdit(), QStringLiteral("2a0.0x0"));
    EXPECT_EQ(window.setmaxEdit()->text(), QStringLiteral("2000"));
    EXPECT_FLOAT_EQ(scale.limits().maxLimit(), 2000.0f);
    enter(window.setMinEdit(), QStringLiteral("-"));
    EXPECT_FLOAT_EQ(scale.limits().minLimit(), 0.0f);
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(LimitsWindowFixture, NotAWholeNumberIsReportedOnceAndKeepsTheLimit) {
    enter(window.setmaxEdit(), QStringLiteral("5-"));
    EXPECT_EQ(reports, QStringList{QStringLiteral("'5-' is not a valid integer value")});
    EXPECT_FLOAT_EQ(scale.limits().maxLimit(), 5.0f);  // "5" was in force before the "-"
}

TEST_F(LimitsWindowFixture, EveryKeystrokeRecoloursTheArcWithoutEnterOrLeavingTheEdit) {
    window.setMaxBox()->click();
    const ScaleGeometry& g = scale.geometry();
    // Mode "4": dot j stands for (j - 400) * 10 counts; dot 700 is 3000.
    const ScalePoint dot = g.pointAt(g.radius() + 3.0f, 700, 800);
    auto dotColour = [&] { return scale.canvas().pixelColor(dot.x + 1, dot.y + 1); };
    ASSERT_EQ(dotColour(), QColor(Qt::black));
    QLineEdit* edit = window.setmaxEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("2"));
    EXPECT_FLOAT_EQ(scale.limits().maxLimit(), 2.0f);
    EXPECT_EQ(dotColour(), QColor(Qt::red));
    QTest::keyClicks(edit, QStringLiteral("000"));
    EXPECT_FLOAT_EQ(scale.limits().maxLimit(), 2000.0f);
    EXPECT_EQ(dotColour(), QColor(Qt::red));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("0000"));  // 2000 -> 200 -> 2000000
    EXPECT_EQ(dotColour(), QColor(Qt::black));
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(LimitsWindowFixture, TickingABoxRedrawsTheFaceWithItsLimit) {
    window.setmaxEdit()->setText(QStringLiteral("1000"));
    window.setMaxBox()->click();
    EXPECT_TRUE(scale.limits().maxEnabled());
    EXPECT_FLOAT_EQ(scale.limits().maxLimit(), 1000.0f);
    const ScalePoint b = scale.geometry().pointAt(scale.geometry().radius() + 3.0f, 800, 800);
    EXPECT_EQ(scale.canvas().pixelColor(b.x + 1, b.y + 1), QColor(Qt::red));
}

TEST(UnitForDisplay, GlyphCharactersBecomeTheirSymbols) {
    EXPECT_EQ(unitForDisplay("K *"), QStringLiteral("K \u03A9"));
    EXPECT_EQ(unitForDisplay("#"), QStringLiteral("\u00B0C"));
    EXPECT_EQ(unitForDisplay("?"), QStringLiteral("\u00B0F"));
    EXPECT_EQ(unitForDisplay("mV"), QStringLiteral("mV"));
}

}  // namespace
