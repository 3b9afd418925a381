#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include "recording/progress_gate.h"

class QWidget;

// The progress of a long task run on the user-interface thread (a load, a print job): after
// half a second a modal progress dialog with Cancel appears, and from then on every step keeps
// the window painting and the readings arriving. step() returns false once the user has
// cancelled; the task then stops at its next safe point.
class ProgressRun {
public:
    ProgressRun(QWidget* parent, QString title,
                ProgressGate::Clock::duration showAfter = ProgressGate::kShowAfter);
    ~ProgressRun();
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;

    // Reports the task's state: text for the dialog, percent done (0..100).
    bool step(const QString& text, int percent);
    bool cancelled() const { return m_gate.cancelled(); }
    // The dialog, once it has appeared (for tests).
    QProgressDialog* dialog() const { return m_dialog; }

private:
    QWidget* m_parent;
    QString m_title;
    ProgressGate m_gate;
    QPointer<QProgressDialog> m_dialog;
};
