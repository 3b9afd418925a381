#pragma once

#include <QFrame>
#include <QImage>
#include <functional>
#include <optional>
#include <vector>

#include "display/scale_geometry.h"
#include "display/scale_limits.h"
#include "meter/count_mode.h"
#include "meter/current_reading.h"

class QLabel;
class QPainter;

// The analog scale panel KD: a face of labels and an arc of dots computed from the panel's size
// and the count mode, a needle moved by KDrun, the limits that colour the arc red beyond them,
// the alarm sign "OL !!" and the running extremes. Each face (count mode and limit setting) is
// drawn once and kept; later frames copy it, which gives the same pixels as drawing it anew.
class AnalogScale : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 371;
    static constexpr int kHeight = 143;
    // KD1, the drawing surface, fills the panel inside its bevel.
    static constexpr QPoint kCanvasOrigin{2, 2};
    static constexpr QSize kCanvasSize{367, 139};
    // Where the alarm sign "OL !!" shows, in panel pixels.
    static constexpr QRect kAlarmPlace{298, 4, 68, 28};

    explicit AnalogScale(QWidget* parent = nullptr);

    // The count mode the face and the needle use (the profile's at start-up). The text behind
    // mode must outlive the scale (the count-mode tables are static).
    void setScaleParams(const ScaleParams& params);
    const ScaleParams& scaleParams() const { return m_params; }

    // KDsetup: the whole face for the present mode and limits, wiping the needle.
    void KDsetup();
    // KDrun: erases the last needle and draws the one for position v (not clamped).
    void KDrun(int v);
    // The decoder's scale update: face of the frame's count mode, needle at zero, then at v.
    void scaleUpdate(const FrameCountMode& mode, int needleValue);
    // The decoder's limit alarm and running extremes for this frame.
    void limitCheck(const CurrentReading& reading, const FrameCountMode& mode);

    // The limits; after changing them call limitsChanged so the arc's colouring follows.
    ScaleLimits& limits() { return m_limits; }
    const ScaleLimits& limits() const { return m_limits; }
    void limitsChanged();

    NeedleLine lastNeedle() const { return m_lastNeedle; }
    const QImage& canvas() const { return m_canvas; }  // KD1 as drawn
    QLabel* alarmSign() const { return m_oltext; }     // oltext
    const ScaleGeometry& geometry() const { return m_geometry; }

    // A face drawn anew, without the cache, for a screen of this device pixel ratio (the image
    // has the canvas's size in logical pixels). Every label lies wholly inside the face, at
    // least kLabelMargin pixels from its edges.
    static QImage drawFace(const ScaleGeometry& geometry, const ScaleParams& params,
                           const ScaleLimits& limits, qreal devicePixelRatio = 1.0);
    static constexpr int kLabelMargin = 2;

    // What sounds the alarm; the system beep unless a test replaces it.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

signals:
    // The running extremes or their units changed (for the limits window).
    void extremesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct FaceKey {
        std::string_view mode;
        int steps;
        int fullScale;
        bool maxEnabled;
        float maxLimit;
        bool minEnabled;
        float minLimit;
        qreal devicePixelRatio;
        bool operator==(const FaceKey&) const = default;
    };
    FaceKey faceKey() const;
    const QImage& face();
    QRect needleRect(const NeedleLine& line) const;  // in canvas pixels
    void drawNeedleLine(QPainter& p, const NeedleLine& line, const QColor& colour);

    ScaleGeometry m_geometry;
    ScaleParams m_params;
    ScaleLimits m_limits;
    std::vector<std::pair<FaceKey, QImage>> m_faces;  // most recently used first
    QImage m_canvas;
    std::optional<FaceKey> m_canvasFace;
    NeedleLine m_lastNeedle;
    QRect m_touched;  // where needles changed the canvas since its face was laid
    QLabel* m_oltext = nullptr;
    std::function<void()> m_beep;
};
