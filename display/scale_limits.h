#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "meter/count_mode.h"

// The optional maximum and minimum limits of the analog scale, the limit alarm and the running
// extremes (MAX/MIN with their units). Plain state: the scale's face and the limits window read
// it, the frame consumer feeds it.
class ScaleLimits {
public:
    // Start values of the 4000-count mode: limits one count beyond the edits' texts, running
    // extremes that the first frame restarts.
    ScaleLimits();

    // A profile's count mode: its limits, the edits' texts and the extremes' captions (the
    // running extremes start at the captions' values). Never fails.
    void applyCountMode(const CountMode& mode);

    // SetMaxB / SetMinB: whether the limit colours the arc and sounds the alarm.
    bool maxEnabled() const { return m_maxEnabled; }
    bool minEnabled() const { return m_minEnabled; }
    void setMaxEnabled(bool on) { m_maxEnabled = on; }
    void setMinEnabled(bool on) { m_minEnabled = on; }

    float maxLimit() const { return m_maxLimit; }
    float minLimit() const { return m_minLimit; }
    const std::string& setmaxText() const { return m_setmaxText; }
    const std::string& setMinText() const { return m_setMinText; }

    // SetmaxExit / SetMinExit: takes the edit's text as the limit; "-", "+" and an empty text
    // give 0. Returns the conversion message ("'5-' is not a valid integer value") for any
    // other text that is not a whole number; the limit then keeps its value (the text is kept).
    std::optional<std::string> SetmaxExit(std::string_view text);
    std::optional<std::string> SetMinExit(std::string_view text);

    // SetmaxKeyPress: whether a typed character reaches the edit (digits, "+", "-", backspace).
    static bool SetmaxKeyPress(char key);

    // The limit alarm for this frame's value: true when an enabled limit is strictly crossed.
    bool alarm(float nval) const;

    // The running extremes for this frame: a new unit restarts them at -fullScale / +fullScale
    // (the captions keep their texts); otherwise a value at or beyond an extreme takes it and its
    // value text becomes the caption. The unit text always becomes both unit captions.
    void updateExtremes(float nval, std::string_view unitText, std::string_view valueText,
                        int fullScale);

    const std::string& maxText() const { return m_maxText; }    // MaxText
    const std::string& minText() const { return m_minText; }    // MinText
    const std::string& maxTextU() const { return m_maxTextU; }  // MaxTextU
    const std::string& minTextU() const { return m_minTextU; }  // MinTextU
    const std::string& rememberedUnit() const { return m_rememberedUnit; }
    float runningMax() const { return m_runningMax; }
    float runningMin() const { return m_runningMin; }

private:
    static std::optional<std::string> takeLimit(std::string_view text, float& limit,
                                                std::string& keptText);

    bool m_maxEnabled = false;
    bool m_minEnabled = false;
    float m_maxLimit = 4002.0f;
    float m_minLimit = -4002.0f;
    std::string m_setmaxText = "4000";
    std::string m_setMinText = "-4000";

    std::string m_maxText = "-4001";
    std::string m_minText = "4001";
    std::string m_maxTextU;
    std::string m_minTextU;
    // A text no frame produces, so the first frame always restarts the extremes.
    std::string m_rememberedUnit = "113";
    float m_runningMax = -4001.0f;
    float m_runningMin = 4001.0f;
};
