#include "tests/support/ui/modal_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>

struct ModalDriver::State {
    std::deque<Step> steps;
    QStringList unexpected;
    QTimer timer;
    QPointer<QWidget> last;  // the modal the previous step handled, until it is gone
    Step lastStep;           // what was done to it, done again if it stays up
    QDeadlineTimer retry;    // when that is
    bool settled = true;     // what the last step queued (a click, an accept) has run
    QDeadlineTimer deadline;

    // Runs the step on the modal. Its queued work is followed by a marker: once the marker has
    // run, so has that work, and only then may the step be done again (a retry while an accept
    // still waits in the queue would accept twice on a loaded machine).
    void run(QWidget* modal) {
        settled = false;
        lastStep(modal);
        QMetaObject::invokeMethod(
            &timer, [this] { settled = true; }, Qt::QueuedConnection);
    }
};

namespace {
// Only the newest driver acts, so a test can use one driver per handler call.
ModalDriver::State* s_active = nullptr;
}  // namespace

ModalDriver::ModalDriver() : m_state(new State) {
    s_active = m_state;
    m_state->timer.setInterval(5);
    // Generous, so that a loaded machine never turns an expected modal into an unexpected one.
    m_state->deadline = QDeadlineTimer(60000);
    QObject::connect(&m_state->timer, &QTimer::timeout, [s = m_state] {
        if (s != s_active) {
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (modal == s->last) {
            // A dialog that did not close on the step (a file dialog still reading its folder
            // on a loaded machine refuses the accept) gets the step again; past the deadline it
            // is closed, so a test fails instead of hanging.
            if (s->deadline.hasExpired()) {
                s->unexpected << QStringLiteral("still open: %1")
                                     .arg(QString::fromLatin1(modal->metaObject()->className()));
                s->last = nullptr;
                s->lastStep = cancelDialog();
                if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                    dialog->reject();
                } else {
                    modal->close();
                }
            } else if (s->lastStep && s->settled && s->retry.hasExpired()) {
                s->retry = QDeadlineTimer(1000);
                s->run(modal);
            }
            return;
        }
        if (s->steps.empty() || s->deadline.hasExpired()) {
            s->unexpected << modal->metaObject()->className();
            s->last = modal;
            s->lastStep = nullptr;
            // A message box without an Escape button ignores reject(): press one of its buttons,
            // so an unexpected box ends the handler instead of hanging the test.
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box != nullptr && !box->buttons().isEmpty()) {
                QAbstractButton* b =
                    box->escapeButton() != nullptr ? box->escapeButton() : box->buttons().front();
                QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
            return;
        }
        s->lastStep = std::move(s->steps.front());
        s->steps.pop_front();
        s->last = modal;
        s->retry = QDeadlineTimer(1000);
        s->run(modal);
    });
    m_state->timer.start();
}

ModalDriver::~ModalDriver() {
    m_state->timer.stop();
    if (s_active == m_state) {
        s_active = nullptr;
    }
    delete m_state;
}

ModalDriver& ModalDriver::then(Step step) {
    m_state->steps.push_back(std::move(step));
    return *this;
}

int ModalDriver::pending() const {
    return static_cast<int>(m_state->steps.size());
}

const QStringList& ModalDriver::unexpected() const {
    return m_state->unexpected;
}

ModalDriver::Step ModalDriver::closeBoxWithReason(QString* text, QString* reason, QString* title) {
    const Step close = closeBox(text);
    return [=](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            *reason = box->informativeText();
            if (title != nullptr) {
                *title = box->windowTitle();
            }
        }
        close(modal);
    };
}

ModalDriver::Step ModalDriver::closeBox(QString* text, int* icon, QStringList* buttons) {
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            if (text != nullptr) {
                *text =
                    QStringLiteral("<not a message box: %1>").arg(modal->metaObject()->className());
            }
            modal->close();
            return;
        }
        if (text != nullptr) {
            *text = box->text();
        }
        if (icon != nullptr) {
            *icon = box->icon();
        }
        if (buttons != nullptr) {
            for (QAbstractButton* b : box->buttons()) {
                *buttons << b->text().remove(QChar(u'&'));
            }
        }
        // Queued, so that whatever the click opens next finds the driver free again.
        QMetaObject::invokeMethod(box->buttons().front(), &QAbstractButton::click,
                                  Qt::QueuedConnection);
    };
}

ModalDriver::Step ModalDriver::chooseFile(const QString& path) {
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) {
            modal->close();
            return;
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    };
}

ModalDriver::Step ModalDriver::cancelDialog() {
    return [](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    };
}
