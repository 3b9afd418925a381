#pragma once

#include <QDialog>

#include "recording/recorder.h"

class QCheckBox;
class QHBoxLayout;
class QLineEdit;

// The start time of recalled readings (the window's off-screen panel Panel2), offered as a
// small window from the "Record" menu: "RecallData" (RecallCheck), "StartTime:" TimeH : TimeM :
// TimeS, "Interval" TimeInt "'S". The rules are the recorder's; this window shows its edit
// texts and the boxes its handlers ask for. The recorder must outlive the window.
class RecallTimeDialog : public QDialog {
    Q_OBJECT

public:
    explicit RecallTimeDialog(Recorder& recorder, QWidget* parent = nullptr);

    QCheckBox* recallCheck() const { return m_recallCheck; }
    QLineEdit* edit(RecorderEdit which) const;

    // Shows the recorder's texts in the edits (after a handler changed them).
    void showRecorderTexts();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addEdit(QHBoxLayout* row, RecorderEdit which);
    void showOutcome(const EditOutcome& outcome);

    Recorder& m_recorder;
    QCheckBox* m_recallCheck;
    QLineEdit* m_timeH = nullptr;
    QLineEdit* m_timeM = nullptr;
    QLineEdit* m_timeS = nullptr;
    QLineEdit* m_timeInt = nullptr;
    bool m_showing = false;
};
