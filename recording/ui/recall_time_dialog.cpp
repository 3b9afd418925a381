#include "recording/ui/recall_time_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "recording/ui/digit_filter.h"
#include "recording/ui/message_boxes.h"

namespace {

QString qText(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

void addLabel(QHBoxLayout* row, const QString& text) {
    row->addWidget(new QLabel(text));
}

}  // namespace

RecallTimeDialog::RecallTimeDialog(Recorder& recorder, QWidget* parent)
    : QDialog(parent), m_recorder(recorder), m_recallCheck(new QCheckBox("RecallData", this)) {
    setObjectName(QStringLiteral("Panel2"));
    setWindowTitle(QStringLiteral("Recall time"));
    auto* row = new QHBoxLayout(this);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->setSpacing(4);

    m_recallCheck->setObjectName(QStringLiteral("RecallCheck"));
    m_recallCheck->setToolTip(QStringLiteral("Repeage Record"));
    row->addWidget(m_recallCheck);
    row->addSpacing(8);
    m_recallCheck->setChecked(m_recorder.recallChecked());
    addLabel(row, QStringLiteral("StartTime:"));
    m_timeH = addEdit(row, RecorderEdit::TimeH);
    addLabel(row, QStringLiteral(":"));
    m_timeM = addEdit(row, RecorderEdit::TimeM);
    addLabel(row, QStringLiteral(":"));
    m_timeS = addEdit(row, RecorderEdit::TimeS);
    row->addSpacing(8);
    addLabel(row, QStringLiteral("Interval"));
    m_timeInt = addEdit(row, RecorderEdit::TimeInt);
    addLabel(row, QStringLiteral("'S"));

    connect(m_recallCheck, &QCheckBox::clicked, this, [this](bool checked) {
        const EditOutcome outcome = m_recorder.RecallCheckClick(checked);
        showRecorderTexts();
        showOutcome(outcome);
    });
    m_recallCheck->installEventFilter(this);
}

QLineEdit* RecallTimeDialog::addEdit(QHBoxLayout* row, RecorderEdit which) {
    static const char* const names[] = {"RecordSITime", "TimeH", "TimeM", "TimeS", "TimeInt"};
    auto* edit = new QLineEdit(qText(m_recorder.editText(which)), this);
    edit->setObjectName(QString::fromLatin1(names[static_cast<int>(which)]));
    edit->setFixedWidth(32);
    row->addWidget(edit);
    installDigitFilter(edit);
    // RecordSITimeChange runs on every change of the five edits.
    connect(edit, &QLineEdit::textChanged, this, [this, which](const QString& text) {
        const EditOutcome outcome = m_recorder.editChanged(which, text.toLocal8Bit().toStdString());
        if (!m_showing) {
            showOutcome(outcome);
        }
    });
    if (which != RecorderEdit::TimeInt) {
        edit->installEventFilter(this);  // TimeHKeyUp
    }
    return edit;
}

QLineEdit* RecallTimeDialog::edit(RecorderEdit which) const {
    switch (which) {
        case RecorderEdit::TimeH:
            return m_timeH;
        case RecorderEdit::TimeM:
            return m_timeM;
        case RecorderEdit::TimeS:
            return m_timeS;
        case RecorderEdit::TimeInt:
            return m_timeInt;
        default:
            return nullptr;
    }
}

void RecallTimeDialog::showRecorderTexts() {
    m_showing = true;
    for (QLineEdit* e : {m_timeH, m_timeM, m_timeS, m_timeInt}) {
        const auto which = e == m_timeH   ? RecorderEdit::TimeH
                           : e == m_timeM ? RecorderEdit::TimeM
                           : e == m_timeS ? RecorderEdit::TimeS
                                          : RecorderEdit::TimeInt;
        const QString text = qText(m_recorder.editText(which));
        if (e->text() != text) {
            e->setText(text);
        }
    }
    m_recallCheck->setChecked(m_recorder.recallChecked());
    m_showing = false;
}

void RecallTimeDialog::showOutcome(const EditOutcome& outcome) {
    showEditMessages(this, outcome.messages, outcome.conversionFailed);
}

bool RecallTimeDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_recallCheck && event->type() == QEvent::FocusOut) {
        showOutcome(m_recorder.RecallCheckExit());
    } else if (event->type() == QEvent::KeyRelease &&
               (watched == m_timeH || watched == m_timeM || watched == m_timeS)) {
        const EditOutcome outcome = m_recorder.TimeHKeyUp();
        showRecorderTexts();  // a refused part reads "00" now
        showOutcome(outcome);
    }
    return QDialog::eventFilter(watched, event);
}
