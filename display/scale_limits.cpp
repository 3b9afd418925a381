#include "display/scale_limits.h"

#include "meter/whole_number.h"

ScaleLimits::ScaleLimits() = default;

void ScaleLimits::applyCountMode(const CountMode& mode) {
    m_maxLimit = mode.maxLimit;
    m_minLimit = mode.minLimit;
    m_setmaxText.assign(mode.setmaxText);
    m_setMinText.assign(mode.setMinText);
    m_maxText.assign(mode.maxTextCaption);
    m_minText.assign(mode.minTextCaption);
    m_runningMax = static_cast<float>(parseWholeNumber(mode.maxTextCaption).value_or(0));
    m_runningMin = static_cast<float>(parseWholeNumber(mode.minTextCaption).value_or(0));
}

std::optional<std::string> ScaleLimits::takeLimit(std::string_view text, float& limit,
                                                  std::string& keptText) {
    keptText.assign(text);
    if (text.empty() || text == "-" || text == "+") {
        limit = 0.0f;
        return std::nullopt;
    }
    const std::optional<std::int32_t> n = parseWholeNumber(text);
    if (!n) {
        return notAWholeNumberMessage(text);
    }
    limit = static_cast<float>(*n);
    return std::nullopt;
}

std::optional<std::string> ScaleLimits::SetmaxExit(std::string_view text) {
    return takeLimit(text, m_maxLimit, m_setmaxText);
}

std::optional<std::string> ScaleLimits::SetMinExit(std::string_view text) {
    return takeLimit(text, m_minLimit, m_setMinText);
}

bool ScaleLimits::SetmaxKeyPress(char key) {
    return (key >= '0' && key <= '9') || key == '+' || key == '-' || key == '\b';
}

bool ScaleLimits::alarm(float nval) const {
    return (m_maxEnabled && nval > m_maxLimit) || (m_minEnabled && nval < m_minLimit);
}

void ScaleLimits::updateExtremes(float nval, std::string_view unitText, std::string_view valueText,
                                 int fullScale) {
    if (unitText == m_rememberedUnit) {
        if (nval >= m_runningMax) {
            m_runningMax = nval;
            m_maxText.assign(valueText);
        }
        if (nval <= m_runningMin) {
            m_runningMin = nval;
            m_minText.assign(valueText);
        }
    } else {
        m_rememberedUnit.assign(unitText);
        m_runningMax = static_cast<float>(-fullScale);
        m_runningMin = static_cast<float>(fullScale);
    }
    m_maxTextU.assign(unitText);
    m_minTextU.assign(unitText);
}
