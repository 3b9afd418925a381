#include "recording/ui/progress_run.h"

#include <QCoreApplication>
#include <QProgressDialog>

ProgressRun::ProgressRun(QWidget* parent, QString title, ProgressGate::Clock::duration showAfter)
    : m_parent(parent),
      m_title(std::move(title)),
      m_gate(ProgressGate::Clock::now() - ProgressGate::kShowAfter + showAfter) {}

ProgressRun::~ProgressRun() {
    delete m_dialog.data();
}

bool ProgressRun::step(const QString& text, int percent) {
    if (m_gate.cancelled()) {
        return false;
    }
    if (!m_gate.update(ProgressGate::Clock::now())) {
        return true;
    }
    if (m_dialog == nullptr) {
        m_dialog = new QProgressDialog(text, QStringLiteral("Cancel"), 0, 100, m_parent);
        m_dialog->setObjectName(QStringLiteral("progress"));
        m_dialog->setWindowTitle(m_title);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->show();
    }
    m_dialog->setLabelText(text);
    m_dialog->setValue(percent);
    // Paints the window and the dialog, delivers the readings and the Cancel click.
    QCoreApplication::processEvents();
    if (m_dialog == nullptr || m_dialog->wasCanceled()) {
        m_gate.cancel();
        return false;
    }
    return true;
}
