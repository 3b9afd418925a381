#include "lcd/ui/connection_indicator_view.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

namespace {

void drawComputer(QPainter& p, const QRectF& screen, bool active) {
    const QColor frame(70, 74, 82);
    p.setPen(QPen(frame, 1.2));
    p.setBrush(QColor(214, 216, 220));
    p.drawRoundedRect(screen.adjusted(-2, -2, 2, 2), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(active ? QColor(0, 224, 240) : QColor(28, 34, 44));
    p.drawRect(screen);
    if (active) {
        // A glint, so the lit screen reads as lit even in grey scale.
        p.setBrush(QColor(210, 255, 255));
        p.drawRect(QRectF(screen.left() + 1, screen.top() + 1, screen.width() / 3, 1.5));
    }
    p.setBrush(frame);
    const qreal cx = screen.center().x();
    p.drawRect(QRectF(cx - 1, screen.bottom() + 2, 2, 2.5));
    p.drawRect(QRectF(cx - 4, screen.bottom() + 4.5, 8, 1.5));
}

}  // namespace

ConnectionIndicatorView::ConnectionIndicatorView(QWidget* host) : QObject(host), m_host(host) {
    m_conokn = new QLabel(host);
    m_conokn->setObjectName(QStringLiteral("conokn"));
    m_conokn->setGeometry(8, 8, 32, 32);
    m_conokn->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_conokn->setToolTip(tr("No frames arrive"));

    m_conok = new QLabel(host);
    m_conok->setObjectName(QStringLiteral("conok"));
    m_conok->setGeometry(8, 8, 32, 32);
    m_conok->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_conok->setToolTip(tr("Frames arrive"));
    m_conok->hide();
    drawIcons();
    host->installEventFilter(this);

    m_indicator.setListener([this](bool active) { show(active); });
    m_conTimer.setObjectName(QStringLiteral("ConTimer"));
    m_conTimer.setInterval(100);
    connect(&m_conTimer, &QTimer::timeout, this, &ConnectionIndicatorView::ConTimerTimer);
    m_conTimer.start();
}

void ConnectionIndicatorView::drawIcons() {
    const qreal ratio = m_host->devicePixelRatioF();
    if (ratio == m_iconRatio) {
        return;
    }
    m_iconRatio = ratio;
    m_conokn->setPixmap(icon(false, ratio));
    m_conok->setPixmap(icon(true, ratio));
}

bool ConnectionIndicatorView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_host &&
        (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show)) {
        drawIcons();
    }
    return QObject::eventFilter(watched, event);
}

QPixmap ConnectionIndicatorView::icon(bool active, qreal devicePixelRatio) {
    // Drawn at the screen's own pixels, never scaled up from 32 x 32.
    QPixmap pixmap(QSize(32, 32) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // The network cable between the two machines.
    p.setPen(QPen(active ? QColor(0, 150, 190) : QColor(120, 124, 130), 1.6));
    p.drawPolyline(QPolygonF{{9, 17}, {9, 27}, {23, 27}, {23, 24}});
    drawComputer(p, QRectF(3, 3, 12, 9), active);
    drawComputer(p, QRectF(17, 12, 12, 9), active);
    return pixmap;
}

void ConnectionIndicatorView::ConTimerTimer() {
    m_indicator.tick();
}

void ConnectionIndicatorView::show(bool active) {
    m_conok->setVisible(active);
    m_conokn->setVisible(!active);
}
