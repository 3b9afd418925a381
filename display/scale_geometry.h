#pragma once

#include <array>
#include <string_view>

// A point on the scale's drawing surface, in pixels.
struct ScalePoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScalePoint&, const ScalePoint&) = default;
};

// The needle as a line from its tip (four pixels inside the arc) to its pivot far below.
struct NeedleLine {
    ScalePoint tip;
    ScalePoint pivot;
    friend bool operator==(const NeedleLine&, const NeedleLine&) = default;
};

// A numeric label of the face: its text at step i of N, shifted left by dx and up by dy from the
// point just outside the arc.
struct ScaleLabel {
    int step;
    std::string_view text;
    int dx;
    int dy;
};

// The labels and step marks a count mode draws on its face.
struct ScaleFace {
    std::string_view mode;
    const ScaleLabel* labels;
    int labelCount;
    int markModulo;  // a mark at every step i with i % markModulo == markRemainder; 0 = none
    int markRemainder;
};

// The labels of the count mode ("4", "6", "34", "10", "13"); modes without labels ("2", "22",
// unknown texts) get an empty face. Never fails.
const ScaleFace& scaleFaceFor(std::string_view mode);

// The arc geometry of the analog scale for a panel of w x h pixels: an arc whose chord is 40
// pixels narrower than the panel and 60 pixels lower, peaking 30 pixels below the top. The
// numbers are kept in single precision so the arc lands on the same pixels as the meter
// program's own scale. Panels smaller than 41 x 61 give a degenerate but finite geometry.
class ScaleGeometry {
public:
    ScaleGeometry(int panelWidth, int panelHeight);

    float width() const { return m_w; }   // W
    float height() const { return m_h; }  // H
    float radius() const { return m_r; }  // R
    float sweep() const { return m_a; }   // A, degrees
    float start() const { return m_s; }   // S, degrees

    // Angle in degrees of position p out of n (0 = left end, n = right end). n must not be 0.
    float angle(int p, int n) const;
    // The point at distance r from the circle's centre along the angle of position p out of n.
    ScalePoint pointAt(float r, int p, int n) const;
    // Where the needle for value v of a span of 10 * steps is drawn (v not clamped).
    NeedleLine needle(int v, int steps) const;

private:
    float m_w;
    float m_h;
    float m_r;
    float m_a;
    float m_s;
};

// Whether arc dot j of a face with this full-scale count is drawn red: beyond an enabled limit
// ((j - fullScale / 10) * 10 above maxLimit or below minLimit, strictly).
bool arcDotBeyondLimit(int j, int fullScale, bool maxEnabled, float maxLimit, bool minEnabled,
                       float minLimit);
