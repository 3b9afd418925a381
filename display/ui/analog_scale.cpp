#include "display/ui/analog_scale.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace {

// The profile's count mode of this build until the first frame chooses its own.
constexpr ScaleParams kStartParams{"4", 4000, 400, 80};
constexpr std::size_t kKeptFaces = 6;

// A rectangle of logical pixels in the pixels of an image of this pixel ratio.
QRectF imageRect(const QRect& logical, qreal devicePixelRatio) {
    return QRectF(logical.x() * devicePixelRatio, logical.y() * devicePixelRatio,
                  logical.width() * devicePixelRatio, logical.height() * devicePixelRatio);
}

QFont labelFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    return f;
}

}  // namespace

AnalogScale::AnalogScale(QWidget* parent)
    : QFrame(parent), m_geometry(kWidth, kHeight), m_params(kStartParams) {
    setObjectName(QStringLiteral("KD"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QString());
    m_canvas = QImage(kCanvasSize, QImage::Format_RGB32);
    m_canvas.fill(Qt::white);

    // The alarm sign sits inside the panel, in its top right corner: above the arc and right of
    // the labels, where no label, dot or needle position of any face is drawn (the connection
    // icons take the other corner), so it hides nothing of the reading it warns about.
    m_oltext = new QLabel(QStringLiteral("OL !!"), this);
    m_oltext->setObjectName(QStringLiteral("oltext"));
    m_oltext->setGeometry(kAlarmPlace);
    m_oltext->setAlignment(Qt::AlignCenter);
    m_oltext->setAutoFillBackground(true);
    QPalette pal = m_oltext->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    pal.setColor(QPalette::WindowText, Qt::white);
    m_oltext->setPalette(pal);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(20);
    f.setBold(true);
    m_oltext->setFont(f);
    m_oltext->hide();

    m_beep = [] { QApplication::beep(); };
}

void AnalogScale::setScaleParams(const ScaleParams& params) {
    m_params = params;
}

AnalogScale::FaceKey AnalogScale::faceKey() const {
    return {m_params.mode,       m_params.scaleSteps,   m_params.fullScale,  m_limits.maxEnabled(),
            m_limits.maxLimit(), m_limits.minEnabled(), m_limits.minLimit(), devicePixelRatioF()};
}

QImage AnalogScale::drawFace(const ScaleGeometry& g, const ScaleParams& params,
                             const ScaleLimits& limits, qreal devicePixelRatio) {
    // Drawn at the screen's own pixels: scaled up from a 1:1 bitmap the arc would be jagged and
    // the labels blurred.
    QImage image(kCanvasSize * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter p(&image);
    if (devicePixelRatio != 1.0) {
        p.setRenderHint(QPainter::Antialiasing);
    }
    p.setFont(labelFont());
    const QFontMetrics metrics(p.font(), &image);
    const QRect inside = QRect(QPoint(0, 0), kCanvasSize)
                             .adjusted(kLabelMargin, kLabelMargin, -kLabelMargin, -kLabelMargin);
    const int n = params.scaleSteps > 0 ? params.scaleSteps : 1;
    const ScaleFace& face = scaleFaceFor(params.mode);
    const float r = g.radius();

    // Labels and step marks.
    int nextLabel = 0;
    for (int i = 0; i <= n; ++i) {
        p.setPen(QPen(Qt::black, 1));
        while (nextLabel < face.labelCount && face.labels[nextLabel].step < i) {
            ++nextLabel;
        }
        if (nextLabel < face.labelCount && face.labels[nextLabel].step == i) {
            const ScaleLabel& label = face.labels[nextLabel];
            const ScalePoint at = g.pointAt(r + 18.0f, i, n);
            const QString text =
                QString::fromLatin1(label.text.data(), static_cast<qsizetype>(label.text.size()));
            // The label's own box, moved inside the face where the font is wider than the one
            // the offsets were made for (the end labels "-1000" and "1000" would be cut).
            QRect box(at.x - label.dx, at.y - label.dy, metrics.horizontalAdvance(text) + 1,
                      metrics.height());
            box.moveLeft(std::clamp(box.left(), inside.left(), inside.right() + 1 - box.width()));
            box.moveTop(std::clamp(box.top(), inside.top(), inside.bottom() + 1 - box.height()));
            p.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
        }
        if (face.markModulo > 0 && i % face.markModulo == face.markRemainder) {
            const ScalePoint t = g.pointAt(r + 6.0f, i, n);
            p.setPen(QPen(Qt::red, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRect(t.x, t.y, 2, 2));
        }
    }

    // The arc: dots dense enough to merge into a thick line, red beyond enabled limits.
    const QPen black(Qt::black, 4);
    const QPen red(Qt::red, 4);
    p.setBrush(Qt::NoBrush);
    const int dots = 10 * n;
    for (int j = 0; j <= dots; ++j) {
        const bool beyond =
            arcDotBeyondLimit(j, params.fullScale, limits.maxEnabled(), limits.maxLimit(),
                              limits.minEnabled(), limits.minLimit());
        p.setPen(beyond ? red : black);
        const ScalePoint b = g.pointAt(r + 3.0f, j, dots);
        p.drawEllipse(QRect(b.x, b.y, 2, 2));
    }
    return image;
}

const QImage& AnalogScale::face() {
    const FaceKey key = faceKey();
    for (std::size_t i = 0; i < m_faces.size(); ++i) {
        if (m_faces[i].first == key) {
            if (i != 0) {
                std::swap(m_faces[i], m_faces[0]);
            }
            return m_faces[0].second;
        }
    }
    if (m_faces.size() >= kKeptFaces) {
        m_faces.pop_back();
    }
    m_faces.emplace(m_faces.begin(), key,
                    drawFace(m_geometry, m_params, m_limits, key.devicePixelRatio));
    return m_faces[0].second;
}

void AnalogScale::KDsetup() {
    const FaceKey key = faceKey();
    const QImage& f = face();
    if (m_canvasFace && *m_canvasFace == key) {
        // The canvas differs from its face only where needles were drawn or erased since the
        // face was laid: putting the face back there gives exactly the face.
        if (!m_touched.isEmpty()) {
            QPainter p(&m_canvas);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QRectF(m_touched), f, imageRect(m_touched, f.devicePixelRatio()));
            update(m_touched.translated(kCanvasOrigin));
        }
    } else {
        m_canvas = f.copy();
        m_canvasFace = key;
        update();
    }
    m_touched = QRect();
}

QRect AnalogScale::needleRect(const NeedleLine& line) const {
    const QRect bounds = QRect(QPoint(line.tip.x, line.tip.y), QPoint(line.pivot.x, line.pivot.y))
                             .normalized()
                             .adjusted(-2, -2, 2, 2);
    return bounds.intersected(QRect(QPoint(0, 0), kCanvasSize));
}

void AnalogScale::drawNeedleLine(QPainter& p, const NeedleLine& line, const QColor& colour) {
    // A line two pixels wide, as two one-pixel lines side by side: the raster engine draws thin
    // lines on its fast path, wide pens through the path stroker.
    // Cosmetic widths are device pixels: one logical pixel at the canvas's pixel ratio.
    QPen pen(colour, 1);
    pen.setWidthF(m_canvas.devicePixelRatio());
    pen.setCosmetic(true);
    p.setPen(pen);
    const QPoint a(line.tip.x, line.tip.y);
    const QPoint b(line.pivot.x, line.pivot.y);
    const QPoint d = b - a;
    const QPoint step = std::abs(d.y()) >= std::abs(d.x()) ? QPoint(1, 0) : QPoint(0, 1);
    p.drawLine(a, b);
    p.drawLine(a + step, b + step);
    m_touched |= needleRect(line);
}

void AnalogScale::KDrun(int v) {
    const NeedleLine line = m_geometry.needle(v, m_params.scaleSteps > 0 ? m_params.scaleSteps : 1);
    {
        QPainter p(&m_canvas);
        drawNeedleLine(p, m_lastNeedle, Qt::white);
        drawNeedleLine(p, line, Qt::black);
    }
    update(needleRect(m_lastNeedle).translated(kCanvasOrigin));
    update(needleRect(line).translated(kCanvasOrigin));
    m_lastNeedle = line;
}

void AnalogScale::scaleUpdate(const FrameCountMode& mode, int needleValue) {
    if (mode.scale != nullptr) {
        m_params = *mode.scale;
    }
    KDsetup();
    KDrun(m_params.needleOffset);
    KDrun(needleValue);
}

void AnalogScale::limitCheck(const CurrentReading& reading, const FrameCountMode& mode) {
    if (m_limits.alarm(reading.nval)) {
        if (m_beep) {
            m_beep();
        }
        m_oltext->show();
    } else {
        m_oltext->hide();
    }
    const int fullScale = mode.scale != nullptr ? mode.scale->fullScale : m_params.fullScale;
    m_limits.updateExtremes(reading.nval, reading.unitText.view(), reading.valueText.view(),
                            fullScale);
    emit extremesChanged();
}

void AnalogScale::limitsChanged() {
    KDsetup();
}

void AnalogScale::paintEvent(QPaintEvent* event) {
    if (m_canvas.devicePixelRatio() != devicePixelRatioF()) {
        // Shown on a screen of another pixel ratio: the face and the needle are drawn again
        // at its pixels.
        m_canvasFace.reset();
        KDsetup();
        QPainter needle(&m_canvas);
        drawNeedleLine(needle, m_lastNeedle, Qt::black);
    }
    QPainter p(this);
    const QRect dirty = event->rect();
    const QRect surface(kCanvasOrigin, kCanvasSize);
    if (surface.contains(dirty)) {
        // Needle moves repaint only where the needle was and is.
        p.drawImage(QRectF(dirty), m_canvas,
                    imageRect(dirty.translated(-kCanvasOrigin), m_canvas.devicePixelRatio()));
        return;
    }
    p.fillRect(rect(), Qt::white);
    p.drawImage(kCanvasOrigin, m_canvas);
    qDrawShadePanel(&p, rect(), palette(), true, 1);
}
