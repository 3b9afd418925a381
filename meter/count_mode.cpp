#include "meter/count_mode.h"

#include <array>

namespace {

// The profile count modes; the limits start one count beyond the edits' texts, which is how the
// limit controls have always come up.
constexpr std::array<CountMode, 5> kProfileModes{{
    {{"6", 6000, 600, 120}, 6002.0f, -6002.0f, "6000", "-6000", "-6001", "6001", 0},
    {{"4", 4000, 400, 80}, 4002.0f, -4002.0f, "4000", "-4000", "-4001", "4001", 0},
    {{"34", 3400, 340, 68}, 3402.0f, -3402.0f, "3400", "-3400", "-3401", "3401", 0},
    {{"2", 20000, 200, 40}, 20002.0f, -20002.0f, "20000", "-20000", "-20001", "20001", 20},
    // Mode "22" comes with its extremes captions the other way round; kept as the meter's
    // program has them.
    {{"22", 22000, 220, 44}, 22002.0f, -22002.0f, "22000", "-22000", "22001", "-22001", 22},
}};

constexpr ScaleParams kFrameScale4{"4", 4000, 400, 80};
constexpr ScaleParams kFrameScale10{"10", 1000, 1000, 200};
constexpr ScaleParams kFrameScale13{"13", 1000, 1000, 200};

constexpr FrameCountMode kFrameMode4{&kFrameScale4, 40, 40};
constexpr FrameCountMode kFrameMode10{&kFrameScale10, 100, 100};
constexpr FrameCountMode kFrameMode13{&kFrameScale13, 10, 100};

}  // namespace

const CountMode* findCountMode(std::string_view mode) {
    for (const CountMode& m : kProfileModes) {
        if (m.scale.mode == mode) {
            return &m;
        }
    }
    return nullptr;
}

const CountMode& defaultCountMode() {
    return kProfileModes[1];
}

const FrameCountMode& chooseFrameCountMode(std::string_view functionText,
                                           std::string_view unitText) {
    if (functionText == "CAP") {
        return kFrameMode10;
    }
    if (unitText == "#" || unitText == "?") {
        return kFrameMode13;
    }
    return kFrameMode4;
}
