#pragma once

#include <QProgressBar>

// The bar graph PBar2 under the LCD: a sunken well with blocks up to the position, drawn flat so a
// frame's repaint costs a few rectangle fills rather than a styled progress bar.
class BarGraph : public QProgressBar {
    Q_OBJECT
public:
    explicit BarGraph(QWidget* parent = nullptr);

    // The bar as drawn: how many pixels of the well the blocks fill. Never above the well.
    int filledWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
