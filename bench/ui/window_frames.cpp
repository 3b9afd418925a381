// Feeds N meter frames (default 1000) through the window, with a repaint after each, for
// scripts/measure-window-frame.sh, which runs it under callgrind with N and with 0 frames and
// divides the difference by N. Prints how many times the LCD and the scale were painted.
// By default the frames drive only the window's own consumer, so the count is the window's own
// per-frame work (decoding, LCD, scale, alarm, bar graph, indicator, repaint);
// --with-table-and-chart sends them through the window's pipeline with the table and the chart
// (every frame then also becomes a row and a chart point).
#include <QApplication>
#include <QEvent>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "app/ui/paint_pacer.h"
#include "app/ui/window_consumer.h"
#include "bench/ui/window_frame_load.h"
#include "display/ui/analog_scale.h"
#include "lcd/ui/virtual_lcd.h"

namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    const bool withTableAndChart =
        argc > 2 && std::string_view(argv[2]) == std::string_view("--with-table-and-chart");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    installFontSubstitutions();
    TFCOMM window;
    // one frame, one repaint: the live window's pacing of its paints is off here
    window.paintPacer().setInterval(0);
    // The window's own part alone: a pipeline that drives only the window's consumer.
    SystemClock clock;
    ReadingPipeline windowOnly(window.readingConsumer(), clock, ".");
    ReadingPipeline& pipeline = withTableAndChart ? window.pipeline() : windowOnly;
    PaintCounter lcdPaints;
    PaintCounter scalePaints;
    window.lcd()->installEventFilter(&lcdPaints);
    window.scale()->installEventFilter(&scalePaints);
    window.show();
    QCoreApplication::processEvents();
    // The frames and one warm frame before the measured ones, so caches (glyphs, faces) fill in
    // both the full and the empty run.
    const std::vector<std::string> frames = windowFrameLoad(n);
    const std::vector<std::string> warm = windowFrameLoad(300);
    for (const std::string& f : warm) {
        pipeline.receive(f);
        QCoreApplication::processEvents();
    }
    const int lcdBefore = lcdPaints.paints;
    const int scaleBefore = scalePaints.paints;
    for (const std::string& f : frames) {
        pipeline.receive(f);
        QCoreApplication::processEvents();
    }
    std::fprintf(stderr, "frames %d, LCD painted %d times, scale painted %d times\n", n,
                 lcdPaints.paints - lcdBefore, scalePaints.paints - scaleBefore);
    return 0;
}
