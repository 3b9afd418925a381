#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

// Holds the window's repaints to at most one per interval (33 ms: about 30 a second), however
// fast frames arrive. Widgets mark what changed as usual; the window's update request that
// would paint them is let through at once when the last paint is older than the interval, and
// otherwise sent again when the interval is over, so every change is painted, the latest within
// one interval. Nothing but the painting waits: readings are decoded, recorded and drawn into
// the widgets' own pictures as they come.
class PaintPacer : public QObject {
public:
    static constexpr int kDefaultIntervalMs = 33;

    // Paces window (a top-level widget), which must outlive the pacer. Never fails.
    explicit PaintPacer(QWidget* window, int intervalMs = kDefaultIntervalMs);

    // 0 lets every update request through (one paint per request, as without the pacer).
    void setInterval(int intervalMs);
    int interval() const { return m_interval; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintNow();

    QWidget* m_window;
    int m_interval;
    QElapsedTimer m_sinceLastPaint;
    QTimer m_deferred;
};
