#include "lcd/ui/connection_indicator_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

namespace {

TEST(ConnectionIndicatorView, IdleIconAtStartActiveOnAFrameIdleAgainOnTheThirdQuietTick) {
    QWidget host;
    ConnectionIndicatorView view(&host);
    EXPECT_EQ(view.conTimer()->interval(), 100);
    EXPECT_TRUE(view.conTimer()->isActive());
    EXPECT_EQ(view.conokn()->geometry(), QRect(8, 8, 32, 32));
    EXPECT_EQ(view.conok()->pixmap().size(), QSize(32, 32));
    EXPECT_TRUE(view.conokn()->isVisibleTo(&host));
    EXPECT_FALSE(view.conok()->isVisibleTo(&host));

    // The ticks are driven by hand, so the test does not depend on the clock.
    view.conTimer()->stop();
    int checks = 0;
    view.indicator().addFallBackCheck([&checks] { ++checks; });
    view.frameMark();
    EXPECT_TRUE(view.conok()->isVisibleTo(&host));
    EXPECT_FALSE(view.conokn()->isVisibleTo(&host));
    view.ConTimerTimer();
    view.ConTimerTimer();
    EXPECT_TRUE(view.conok()->isVisibleTo(&host));
    view.ConTimerTimer();
    EXPECT_FALSE(view.conok()->isVisibleTo(&host));
    EXPECT_TRUE(view.conokn()->isVisibleTo(&host));
    EXPECT_EQ(checks, 1);
}

TEST(ConnectionIndicatorView, TheTwoIconsDiffer) {
    EXPECT_NE(ConnectionIndicatorView::icon(true).toImage(),
              ConnectionIndicatorView::icon(false).toImage());
}

TEST(ConnectionIndicatorView, IconsAreDrawnAtTheScreensPixelRatio) {
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap icon = ConnectionIndicatorView::icon(true, ratio);
        EXPECT_EQ(icon.devicePixelRatio(), ratio);
        EXPECT_EQ(icon.size(), QSize(32, 32) * ratio);
        EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(32, 32));
    }
    // Not a scaled copy: at ratio 2 the drawing has detail a doubled 32 x 32 image lacks.
    const QImage fine = ConnectionIndicatorView::icon(false, 2.0).toImage();
    const QImage doubled = ConnectionIndicatorView::icon(false, 1.0).toImage().scaled(64, 64);
    EXPECT_NE(fine.convertToFormat(QImage::Format_ARGB32),
              doubled.convertToFormat(QImage::Format_ARGB32));
}

}  // namespace
