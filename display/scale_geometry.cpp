#include "display/scale_geometry.h"

#include <cmath>

namespace {

constexpr ScaleLabel kLabels4[] = {
    {0, "-40", 5, 7}, {10, "-30", 8, 6}, {20, "-20", 10, 5}, {30, "-10", 10, 4}, {40, "0", 3, 4},
    {50, "10", 5, 5}, {60, "20", 8, 5},  {70, "30", 10, 6},  {80, "40", 12, 7},
};
constexpr ScaleLabel kLabels6[] = {
    {0, "-60", 5, 7}, {15, "-45", 8, 6}, {30, "-30", 10, 5}, {45, "-15", 10, 4}, {60, "0", 3, 4},
    {75, "15", 5, 5}, {90, "30", 8, 5},  {105, "45", 10, 6}, {120, "60", 11, 7},
};
constexpr ScaleLabel kLabels34[] = {
    {4, "-30", 8, 6}, {14, "-20", 10, 5}, {24, "-10", 10, 4}, {34, "0", 3, 4},
    {44, "10", 5, 5}, {54, "20", 8, 5},   {64, "30", 10, 6},
};
constexpr ScaleLabel kLabels10[] = {
    {0, "-10", 1, 7},    {25, "-7.5", 8, 6},  {50, "-5.0", 10, 5},
    {75, "-2.5", 10, 4}, {100, "0", 3, 4},    {125, "2.5", 5, 5},
    {150, "5.0", 8, 5},  {175, "7.5", 10, 6}, {200, "10", 10, 2},
};
constexpr ScaleLabel kLabels13[] = {
    {0, "-1000", 10, 7}, {25, "-750", 8, 6},  {50, "-500", 10, 5},
    {75, "-250", 10, 4}, {100, "0", 3, 4},    {125, "250", 5, 5},
    {150, "500", 8, 5},  {175, "750", 10, 6}, {200, "1000", 15, 5},
};

template <std::size_t N>
constexpr ScaleFace face(std::string_view mode, const ScaleLabel (&labels)[N], int modulo,
                         int remainder) {
    return {mode, labels, static_cast<int>(N), modulo, remainder};
}

// Mode "4" marks its tenth steps in the face's own white, which shows nothing: no marks here.
constexpr ScaleFace kFaces[] = {
    face("4", kLabels4, 0, 0),   face("6", kLabels6, 15, 0),  face("34", kLabels34, 10, 4),
    face("10", kLabels10, 0, 0), face("13", kLabels13, 0, 0),
};
constexpr ScaleFace kEmptyFace{"", nullptr, 0, 0, 0};

// The angle in radians, held in single precision like the degrees it comes from: at the middle
// of the arc this leaves the cosine slightly negative, which decides the needle's pixels.
double radians(float degrees) {
    return static_cast<float>(static_cast<double>(degrees) * 3.14159265358979323846 / 180.0);
}

// Half to even, as the meter program rounds.
int roundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

}  // namespace

const ScaleFace& scaleFaceFor(std::string_view mode) {
    for (const ScaleFace& f : kFaces) {
        if (f.mode == mode) {
            return f;
        }
    }
    return kEmptyFace;
}

ScaleGeometry::ScaleGeometry(int panelWidth, int panelHeight)
    : m_w(static_cast<float>(panelWidth - 40)), m_h(static_cast<float>(panelHeight - 60)) {
    const float h = m_h > 0.0f ? m_h : 1.0f;
    m_r = (4.0f * h * h + m_w * m_w) / (8.0f * h);
    const double beta = std::atan((static_cast<double>(m_w) / 2.0) / (m_r - h));
    // 3.1415, not pi: the arc must fall on the meter program's pixels.
    m_a = static_cast<float>(2.0 * beta * 180.0 / 3.1415);
    m_s = (180.0f - m_a) / 2.0f;
}

float ScaleGeometry::angle(int p, int n) const {
    return static_cast<float>(static_cast<double>(m_s) +
                              static_cast<double>(p) * static_cast<double>(m_a) / n);
}

ScalePoint ScaleGeometry::pointAt(float r, int p, int n) const {
    const double theta = radians(angle(p, n));
    return {roundEven(m_w / 2.0 - r * std::cos(theta) + 20.0),
            roundEven(m_r - r * std::sin(theta) + 30.0)};
}

NeedleLine ScaleGeometry::needle(int v, int steps) const {
    const double theta = radians(angle(v, 10 * steps));
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    NeedleLine line;
    line.tip = {roundEven(m_w / 2.0 - m_r * c) + 20, roundEven(m_r - m_r * s + 4.0) + 30};
    line.pivot.y = roundEven(280.0 + m_h) + 30;
    // sin is never 0 on the arc; guard the far ends of an unclamped needle all the same.
    const double cot = s != 0.0 ? c / s : 0.0;
    line.pivot.x = roundEven(m_w / 2.0 - (static_cast<double>(m_r) - m_h - 280.0) * cot) + 20;
    return line;
}

bool arcDotBeyondLimit(int j, int fullScale, bool maxEnabled, float maxLimit, bool minEnabled,
                       float minLimit) {
    const double value = (j - fullScale / 10.0) * 10.0;
    if (maxEnabled && value > maxLimit) {
        return true;
    }
    return minEnabled && value < minLimit;
}
