#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>

class QWidget;

// Drives the modal boxes and dialogs a handler opens, as a user would: each step runs on the
// next modal widget that appears, in order. A modal left open by the steps is rejected after a
// few seconds so that a fault fails the test instead of hanging it.
class ModalDriver {
public:
    struct State;
    using Step = std::function<void(QWidget*)>;

    ModalDriver();
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    ModalDriver& then(Step step);
    // Steps not yet run (0 when every expected modal came).
    int pending() const;
    // Modals that came when no step was left (they were rejected).
    const QStringList& unexpected() const;

    // Common steps.
    static Step closeBox(QString* text, int* icon = nullptr, QStringList* buttons = nullptr);
    // closeBox that also keeps the box's informative text (the reason) and title.
    static Step closeBoxWithReason(QString* text, QString* reason, QString* title = nullptr);
    static Step chooseFile(const QString& path);
    static Step cancelDialog();

private:
    State* m_state;
};

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
