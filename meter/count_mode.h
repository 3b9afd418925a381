#pragma once

#include <string_view>

// Scale parameters of a count mode: what the analog scale, the needle and the per-frame
// numeric rules need. FullScale is the full-scale count, NeedleOffset puts the needle at zero,
// ScaleSteps (N) gives N label steps, an arc of 10*N + 1 dots and a needle span of 10*N.
struct ScaleParams {
    std::string_view mode;  // "4", "6", "34", "2", "22", "10", "13"
    int fullScale;
    int needleOffset;
    int scaleSteps;
};

// A count mode a model profile applies at start-up: scale parameters, the limits and the texts of
// the limit controls, and the bar-graph maximum (0 = the bar keeps the maximum it has).
struct CountMode {
    ScaleParams scale;
    float maxLimit;
    float minLimit;
    std::string_view setmaxText;
    std::string_view setMinText;
    std::string_view maxTextCaption;
    std::string_view minTextCaption;
    int barMaximum;
};

// The count mode the decoder chooses for each frame ("4", "10" for capacitance, "13" for
// temperature), with the bar graph's maximum and the bar position an overload display takes.
struct FrameCountMode {
    const ScaleParams* scale;
    int barMaximum;
    int barOverload;
};

// The five profile count modes "6", "4", "34", "2", "22"; nullptr for any other text.
const CountMode* findCountMode(std::string_view mode);

// The count mode the decoder applies before the profile switches are read ("4").
const CountMode& defaultCountMode();

// The per-frame choice: function text "CAP" -> "10"; else unit text "#" or "?" -> "13"; else "4".
const FrameCountMode& chooseFrameCountMode(std::string_view functionText,
                                           std::string_view unitText);
