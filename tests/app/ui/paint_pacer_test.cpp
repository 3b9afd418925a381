#include "app/ui/paint_pacer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>

namespace {

// A widget that shows a number and counts its paints.
class Counter : public QWidget {
public:
    using QWidget::QWidget;
    int shown = -1;
    int value = 0;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        shown = value;
        QPainter(this).fillRect(rect(), Qt::white);
    }
};

TEST(PaintPacer, AStormOfChangesPaintsAboutThirtyTimesASecondAndTheLastOneAlways) {
    QWidget window;
    window.resize(100, 100);
    auto* counter = new Counter(&window);
    counter->resize(50, 50);
    PaintPacer pacer(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    const int before = counter->paints;

    QElapsedTimer clock;
    clock.start();
    int changes = 0;
    while (clock.elapsed() < 300) {
        counter->value = ++changes;
        counter->update();
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(2 * PaintPacer::kDefaultIntervalMs + 10);  // the deferred paint comes

    const int paints = counter->paints - before;
    EXPECT_GT(changes, paints * 3);  // far more changes than paints
    EXPECT_LE(paints, elapsed / PaintPacer::kDefaultIntervalMs + 3);
    EXPECT_GE(paints, 2);
    EXPECT_EQ(counter->shown, changes);  // nothing stays unpainted

    // off: every request paints
    pacer.setInterval(0);
    const int offBefore = counter->paints;
    for (int i = 0; i < 5; ++i) {
        counter->value = ++changes;
        counter->update();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(counter->paints - offBefore, 5);
    EXPECT_EQ(counter->shown, changes);
}

}  // namespace
