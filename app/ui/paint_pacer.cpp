#include "app/ui/paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

PaintPacer::PaintPacer(QWidget* window, int intervalMs)
    : QObject(window), m_window(window), m_interval(intervalMs) {
    m_deferred.setSingleShot(true);
    connect(&m_deferred, &QTimer::timeout, this, &PaintPacer::paintNow);
    m_window->installEventFilter(this);
}

void PaintPacer::setInterval(int intervalMs) {
    m_interval = intervalMs;
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window || event->type() != QEvent::UpdateRequest) {
        return false;
    }
    if (m_interval > 0 && m_sinceLastPaint.isValid()) {
        const qint64 since = m_sinceLastPaint.elapsed();
        if (since < m_interval) {
            // too soon: the request comes again when the interval is over (the widgets keep
            // their marked areas meanwhile, and later marks join them)
            if (!m_deferred.isActive()) {
                m_deferred.start(static_cast<int>(m_interval - since));
            }
            return true;
        }
    }
    m_deferred.stop();
    m_sinceLastPaint.start();
    return false;
}

void PaintPacer::paintNow() {
    QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
