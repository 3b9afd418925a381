#pragma once

#include <QObject>
#include <QPixmap>
#include <QTimer>

#include "lcd/connection_indicator.h"

class QLabel;
class QWidget;

// The connection indicator on screen: the icons conokn (idle) and conok (frames arriving) at
// 8, 8 of their host panel, and ConTimer ticking every 100 ms, never stopped.
class ConnectionIndicatorView : public QObject {
    Q_OBJECT
public:
    // Places both icons in host (the analog scale panel) and starts ConTimer.
    explicit ConnectionIndicatorView(QWidget* host);

    // The 32 x 32 icons: two networked computers, dark screens when idle, cyan when active, drawn
    // at the pixels of a screen of this device pixel ratio (32 x 32 logical pixels).
    static QPixmap icon(bool active, qreal devicePixelRatio = 1.0);

    ConnectionIndicator& indicator() { return m_indicator; }
    QTimer* conTimer() { return &m_conTimer; }
    QLabel* conok() const { return m_conok; }
    QLabel* conokn() const { return m_conokn; }

    // The decoder's frame mark.
    void frameMark() { m_indicator.frameMark(); }

public slots:
    // One tick of ConTimer.
    void ConTimerTimer();

protected:
    // The icons are drawn again when the host moves to a screen of another pixel ratio.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(bool active);
    void drawIcons();

    ConnectionIndicator m_indicator;
    QTimer m_conTimer;
    QLabel* m_conok = nullptr;
    QLabel* m_conokn = nullptr;
    QWidget* m_host = nullptr;
    qreal m_iconRatio = 0;
};
