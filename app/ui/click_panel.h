#pragma once

#include <QLabel>

// A raised caption panel that reports clicks, like the port selector "COM 1" of the top bar.
class ClickPanel : public QLabel {
    Q_OBJECT
public:
    explicit ClickPanel(const QString& caption, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
