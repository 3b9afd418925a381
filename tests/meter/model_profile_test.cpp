#include "meter/model_profile.h"

#include "meter/lcd_state.h"

#include <gtest/gtest.h>

namespace {

struct ProfileCase {
    ProfileSwitches switches;
    ReceiveHandler handler;
    const char* title;      // nullptr: the stored title stays
    const char* countMode;  // nullptr: no switch chose one
    bool com1;
    bool hid;
};

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, LaterSwitchesWin) {
    const ProfileCase& c = GetParam();
    const ProfileSettings s = applyProfile(c.switches);
    EXPECT_EQ(s.receiveHandler, c.handler);
    if (c.title == nullptr) {
        EXPECT_FALSE(s.title.has_value());
    } else {
        EXPECT_EQ(s.title.value_or(""), c.title);
    }
    if (c.countMode == nullptr) {
        EXPECT_EQ(s.countMode, nullptr);
        EXPECT_EQ(s.effectiveCountMode().scale.mode, "4");
    } else {
        ASSERT_NE(s.countMode, nullptr);
        EXPECT_EQ(s.countMode->scale.mode, c.countMode);
    }
    EXPECT_EQ(s.preselectsCom1, c.com1);
    EXPECT_EQ(s.hidHandler, c.hid);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, Profiles,
    ::testing::Values(
        // this build
        ProfileCase{
            {}, ReceiveHandler::QuillerData, "Halvern Interface Program Ver2.00", "4", true, true},
        ProfileCase{{false, false, true, true},
                    ReceiveHandler::TarrowData,
                    "Ostrel Interface Program _Ver: 1.00",
                    "4",
                    true,
                    true},
        ProfileCase{{false, true, false, false},
                    ReceiveHandler::QuillerData,
                    "Dravik Interface Program _Ver: 1.00",
                    "22",
                    false,
                    false},
        ProfileCase{{true, false, false, false},
                    ReceiveHandler::PelmarkDATA,
                    "Pelmark Interface Program _Ver: 1.00",
                    "22",
                    false,
                    false},
        ProfileCase{{true, true, true, false},
                    ReceiveHandler::QuillerData,
                    "Halvern Interface Program Ver2.00",
                    "4",
                    true,
                    true},
        ProfileCase{{false, false, false, true},
                    ReceiveHandler::TarrowData,
                    "Ostrel Interface Program _Ver: 1.00",
                    nullptr,
                    false,
                    false},
        ProfileCase{
            {false, false, false, false}, ReceiveHandler::None, nullptr, nullptr, false, false}));

TEST(CountModes, RowsOfTheProfileTable) {
    const CountMode* m4 = findCountMode("4");
    ASSERT_NE(m4, nullptr);
    EXPECT_EQ(m4, &defaultCountMode());
    EXPECT_EQ(m4->scale.fullScale, 4000);
    EXPECT_EQ(m4->scale.needleOffset, 400);
    EXPECT_EQ(m4->scale.scaleSteps, 80);
    EXPECT_EQ(m4->maxLimit, 4002.0f);
    EXPECT_EQ(m4->minLimit, -4002.0f);
    EXPECT_EQ(m4->setmaxText, "4000");
    EXPECT_EQ(m4->setMinText, "-4000");
    EXPECT_EQ(m4->maxTextCaption, "-4001");
    EXPECT_EQ(m4->minTextCaption, "4001");
    EXPECT_EQ(m4->barMaximum, 0);  // the bar keeps its maximum

    const CountMode* m22 = findCountMode("22");
    ASSERT_NE(m22, nullptr);
    EXPECT_EQ(m22->scale.fullScale, 22000);
    EXPECT_EQ(m22->scale.scaleSteps, 44);
    EXPECT_EQ(m22->barMaximum, 22);
    EXPECT_EQ(m22->maxTextCaption, "22001");
    EXPECT_EQ(m22->minTextCaption, "-22001");

    EXPECT_EQ(findCountMode("2")->barMaximum, 20);
    EXPECT_EQ(findCountMode("6")->scale.needleOffset, 600);
    EXPECT_EQ(findCountMode("34")->maxLimit, 3402.0f);
    EXPECT_EQ(findCountMode("10"), nullptr);  // a per-frame mode, not a profile mode
    EXPECT_EQ(findCountMode(""), nullptr);
}

TEST(CountModes, PerFrameChoice) {
    const FrameCountMode& cap = chooseFrameCountMode("CAP", "#");
    EXPECT_EQ(cap.scale->mode, "10");
    EXPECT_EQ(cap.scale->fullScale, 1000);
    EXPECT_EQ(cap.scale->needleOffset, 1000);
    EXPECT_EQ(cap.scale->scaleSteps, 200);
    EXPECT_EQ(cap.barMaximum, 100);
    EXPECT_EQ(cap.barOverload, 100);
    const FrameCountMode& tmp = chooseFrameCountMode("TMP", "?");
    EXPECT_EQ(tmp.scale->mode, "13");
    EXPECT_EQ(tmp.barMaximum, 10);
    EXPECT_EQ(tmp.barOverload, 100);
    const FrameCountMode& other = chooseFrameCountMode("DCV", "V");
    EXPECT_EQ(other.scale->mode, "4");
    EXPECT_EQ(other.scale->fullScale, 4000);
    EXPECT_EQ(other.barMaximum, 40);
    EXPECT_EQ(other.barOverload, 40);
    EXPECT_EQ(lcdElementName(LcdElement::LcdDc1), "LcdDc1");
    EXPECT_EQ(lcdElementName(LcdElement::dd2), "dd2");
}

}  // namespace
