#include "lcd/ui/bar_graph.h"

#include <qdrawutil.h>
#include <QPainter>
#include <algorithm>

namespace {

constexpr int kBlock = 8;  // block width, then a gap of 2
constexpr int kGap = 2;

}  // namespace

BarGraph::BarGraph(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int BarGraph::filledWidth() const {
    const int well = width() - 4;
    const int span = maximum() - minimum();
    if (span <= 0 || well <= 0) {
        return 0;
    }
    const int v = std::clamp(value(), minimum(), maximum()) - minimum();
    return static_cast<int>(static_cast<long long>(well) * v / span);
}

void BarGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect well = rect();
    p.fillRect(well, palette().color(QPalette::Base));
    qDrawShadePanel(&p, well, palette(), true, 1);
    const int filled = filledWidth();
    const QColor block = palette().color(QPalette::Highlight);
    const int top = 2;
    const int height = well.height() - 4;
    for (int x = 0; x < filled; x += kBlock + kGap) {
        p.fillRect(QRect(2 + x, top, std::min(kBlock, filled - x), height), block);
    }
}
