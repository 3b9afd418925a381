#include "recording/ui/recording_controls.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "recording/data_files.h"
#include "recording/ui/background_save.h"
#include "recording/ui/board_icons.h"
#include "recording/ui/digit_filter.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/message_boxes.h"
#include "recording/ui/progress_run.h"
#include "recording/ui/recall_time_dialog.h"
#include "recording/ui/report_painter.h"
#include "recording/ui/statistics_window.h"

namespace {

constexpr std::array<const char*, kRecordLimitChoices.size()> kLimitNames = {
    "N10001", "N50001", "N100001", "N500001", "N1000001", "limitess"};

std::string fileNameBytes(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

QString boxText(const std::string& message) {
    return QString::fromLocal8Bit(message);
}

QToolButton* speedButton(QWidget* parent, const char* name, const QString& hint, const QIcon& icon,
                         int left) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setGeometry(left, 14, 25, 24);
    return button;
}

}  // namespace

QStringList RecordingControls::fileFilters() {
    return {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML(*.xml)"),
            QStringLiteral("Txt File(*.txt)")};
}

QStringList RecordingControls::saveFileFilters() {
    return fileFilters() << QStringLiteral("CSV for analysis(*.csv)")
                         << QStringLiteral("JSON Lines(*.jsonl)");
}

QStringList RecordingControls::openFileFilters() {
    return QStringList{QStringLiteral("Data files (*.xls *.xml *.txt *.csv)")} + fileFilters() +
           QStringList{QStringLiteral("CSV for analysis(*.csv)"), QStringLiteral("All files (*)")};
}

RecordingControls::RecordingControls(TableStore& table, Recorder& recorder, QWidget* dialogParent,
                                     QObject* parent)
    : QObject(parent),
      m_table(table),
      m_recorder(recorder),
      m_dialogParent(dialogParent),
      m_trecord(new QTimer(this)) {
    m_trecord->setObjectName(QStringLiteral("Trecord"));
    m_trecord->setInterval(100);
    // The countdown runs while Sampling Interval is checked; each full second of ticks is one
    // count, so "'S" reads as seconds.
    connect(m_trecord, &QTimer::timeout, this, &RecordingControls::TrecordTimer);
}

RecordingControls::~RecordingControls() {
    delete m_statisticsWindow.data();  // it reads the table, which may go before its parent
}

MeasurementGrid* RecordingControls::createGrid(QWidget* parent) {
    m_grid = new MeasurementGrid(m_table, parent);
    // "Statistics…" counts the selected rows while there are some.
    connect(m_grid->model(), &MeasurementTableModel::selectionChanged, this, [this] {
        if (m_statisticsWindow != nullptr && m_grid != nullptr) {
            m_statisticsWindow->setRowRange(m_grid->model()->selectedRows());
        }
    });
    return m_grid;
}

QString RecordingControls::suffixOfFilter(const QString& filter) {
    // "XML(*.xml)" -> "xml"
    const qsizetype star = filter.lastIndexOf(QStringLiteral("(*."));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    if (star < 0 || close <= star + 3) {
        return QStringLiteral("xls");
    }
    return filter.mid(star + 3, close - star - 3);
}

void RecordingControls::populateFunctionBoard(QGroupBox* board) {
    m_repeatSet = new QCheckBox(QStringLiteral("Repeat"), board);
    m_repeatSet->setObjectName(QStringLiteral("RepeatSet"));
    m_repeatSet->setToolTip(QStringLiteral("Repeage Record"));
    m_repeatSet->setChecked(m_recorder.repeat());
    m_repeatSet->setGeometry(8, 17, 64, 20);
    connect(m_repeatSet, &QCheckBox::toggled, this,
            [this](bool checked) { m_recorder.setRepeat(checked); });

    m_recordSI = new QCheckBox(QStringLiteral("Sampling Interval           'S"), board);
    m_recordSI->setObjectName(QStringLiteral("RecordSI"));
    m_recordSI->setChecked(m_recorder.samplingInterval());
    m_recordSI->setGeometry(76, 17, m_recordSI->sizeHint().width(), 20);
    connect(m_recordSI, &QCheckBox::toggled, this, [this](bool checked) {
        m_recorder.setSamplingInterval(checked);
        if (checked) {
            m_trecord->start();
        } else {
            m_trecord->stop();
        }
    });

    // The edit sits in the run of blanks of the check box's caption, before "'S".
    m_recordSITime = new QLineEdit(
        QString::fromLocal8Bit(m_recorder.editText(RecorderEdit::RecordSITime)), board);
    m_recordSITime->setObjectName(QStringLiteral("RecordSITime"));
    const QFontMetrics metrics(m_recordSI->font());
    const int indicator = m_recordSI->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                          m_recordSI->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    const int editLeft = m_recordSI->x() + indicator +
                         metrics.horizontalAdvance(QStringLiteral("Sampling Interval "));
    const int editWidth = metrics.horizontalAdvance(QStringLiteral("         "));
    m_recordSITime->setGeometry(editLeft, 16, std::max(editWidth, 24), 21);
    m_recordSITime->raise();
    installDigitFilter(m_recordSITime);
    connect(m_recordSITime, &QLineEdit::textChanged, this, [this](const QString& text) {
        const EditOutcome outcome =
            m_recorder.editChanged(RecorderEdit::RecordSITime, text.toLocal8Bit().toStdString());
        if (!outcome.refused.empty()) {
            // Marked at the edit, no box: recording goes on with the interval before.
            noteRecordingFailure(QString::fromLocal8Bit(outcome.refused));
        } else if (!outcome.conversionFailed) {
            noteRecordingFailure(QString());  // a number again: the mark goes
        }
        showEditMessages(m_dialogParent, outcome.messages, outcome.conversionFailed);
    });

    m_recordNew =
        speedButton(board, "RecordNew", QStringLiteral("Close Data"), newRecordIcon(), 312);
    m_saveAs = speedButton(board, "saveas", QStringLiteral("Save data files"), saveIcon(), 339);
    m_openDataFiles =
        speedButton(board, "OpenDataFiles", QStringLiteral("Open old data files"), openIcon(), 366);
    m_majPrint = speedButton(board, "MajPrint", QStringLiteral("Print Data"), printIcon(), 393);
    connect(m_recordNew, &QToolButton::clicked, this, &RecordingControls::RecordNewClick);
    connect(m_saveAs, &QToolButton::clicked, this, &RecordingControls::saveasClick);
    connect(m_openDataFiles, &QToolButton::clicked, this, &RecordingControls::SpeedButton2Click);
    connect(m_majPrint, &QToolButton::clicked, this, &RecordingControls::MajPrintClick);
}

void RecordingControls::populateRecordMenu(QMenu* menu) {
    m_new1 = menu->addAction(QStringLiteral("New"));
    m_new1->setObjectName(QStringLiteral("New1"));
    m_new1->setVisible(false);
    connect(m_new1, &QAction::triggered, this, &RecordingControls::RecordNewClick);
    m_save1 = menu->addAction(QStringLiteral("Save"));
    m_save1->setObjectName(QStringLiteral("Save1"));
    m_save1->setVisible(false);
    connect(m_save1, &QAction::triggered, this, &RecordingControls::saveasClick);

    m_limitGroup = new QActionGroup(menu);
    m_limitGroup->setExclusive(true);
    for (std::size_t i = 0; i < kRecordLimitChoices.size(); ++i) {
        const RecordLimitChoice& choice = kRecordLimitChoices[i];
        QAction* action = menu->addAction(QString::fromLatin1(
            choice.caption.data(), static_cast<qsizetype>(choice.caption.size())));
        action->setObjectName(QString::fromLatin1(kLimitNames[i]));
        action->setCheckable(true);
        action->setChecked(choice.item == m_recorder.recordLimitItem());
        m_limitGroup->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, item = choice.item] { selectRecordLimit(item); });
        m_limitActions[i] = action;
    }

    menu->addSeparator();
    m_recallTime = menu->addAction(QStringLiteral("Recall time..."));
    m_recallTime->setObjectName(QStringLiteral("RecallTime"));
    connect(m_recallTime, &QAction::triggered, this, [this] {
        RecallTimeDialog* dialog = recallTimeDialog();
        dialog->showRecorderTexts();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    m_statistics = menu->addAction(QStringLiteral("Statistics\u2026"));
    m_statistics->setObjectName(QStringLiteral("Statistics1"));
    connect(m_statistics, &QAction::triggered, this, [this] {
        StatisticsWindow* window = statisticsWindow();
        window->show();
        window->raise();
        window->activateWindow();
    });
}

StatisticsWindow* RecordingControls::statisticsWindow() {
    if (m_statisticsWindow == nullptr) {
        m_statisticsWindow = new StatisticsWindow(m_table, m_dialogParent);
        if (m_grid != nullptr) {
            m_statisticsWindow->setRowRange(m_grid->model()->selectedRows());
        }
    }
    return m_statisticsWindow;
}

QAction* RecordingControls::limitAction(RecordLimitItem item) const {
    for (std::size_t i = 0; i < kRecordLimitChoices.size(); ++i) {
        if (kRecordLimitChoices[i].item == item) {
            return m_limitActions[i];
        }
    }
    return nullptr;
}

RecallTimeDialog* RecordingControls::recallTimeDialog() {
    if (m_recallDialog == nullptr) {
        m_recallDialog = new RecallTimeDialog(m_recorder, m_dialogParent);
    }
    return m_recallDialog;
}

void RecordingControls::selectRecordLimit(RecordLimitItem item) {
    m_recorder.selectRecordLimit(item);
    if (QAction* action = limitAction(item)) {
        action->setChecked(true);
    }
}

void RecordingControls::noteRecordingFailure(const QString& message) {
    if (m_recordSITime == nullptr || m_recordSITime->toolTip() == message) {
        return;  // every frame fails alike: mark once
    }
    m_recordSITime->setToolTip(message);
    m_recordSITime->setStyleSheet(
        message.isEmpty() ? QString() : QStringLiteral("QLineEdit { border: 2px solid #b01e1e; }"));
}

void RecordingControls::TrecordTimer() {
    m_recorder.TrecordTimer(m_trecord->interval());
}

void RecordingControls::RecordNewClick() {
    // The box comes first and offers no way back.
    showInformationBox(m_dialogParent,
                       QString::fromLatin1(kRecordDeletedMessage.data(),
                                           static_cast<qsizetype>(kRecordDeletedMessage.size())));
    m_recorder.RecordNewClick();
    emit tableReplaced();
    emit recordNewDone();
    if (m_chartClear) {
        m_chartClear();
    }
}

void RecordingControls::saveasClick() {
    saveTableAs();
}

bool RecordingControls::saveTableAs() {
    if (m_saving) {
        return false;
    }
    QFileDialog dialog(m_dialogParent);
    dialog.setObjectName(QStringLiteral("SaveDialog2"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(saveFileFilters());
    dialog.selectNameFilter(fileFilters().front());
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    // A name typed without extension takes the chosen entry's: ".xls", ".xml" or ".txt".
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& filter) { dialog.setDefaultSuffix(suffixOfFilter(filter)); });
    if (!m_lastFolder.isEmpty()) {
        dialog.setDirectory(m_lastFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    const QString name = dialog.selectedFiles().front();
    m_lastFolder = QFileInfo(name).absolutePath();
    // Readings recorded while the dialog was open are saved too: the table is taken as it is
    // now. Readings that come during the save are recorded as usual and stay unsaved.
    m_saving = true;
    m_recorder.sinks().saveStarted();
    const BackgroundSave saved = saveInBackground(m_dialogParent, m_table, fileNameBytes(name));
    m_saving = false;
    const FileOutcome& outcome = saved.outcome;
    // The save walks the table to its end: the last row is the current one afterwards.
    if (m_grid != nullptr && !m_table.empty()) {
        m_grid->model()->setCurrentRow(m_table.rowCount() - 1);
    }
    if (outcome.ok) {
        m_recorder.sinks().rowsSaved();
        emit tableSaved();
    }
    if (!outcome.message.empty() && !saved.cancelled) {
        showPlainBox(m_dialogParent, boxText(outcome.message), boxText(outcome.reason));
    }
    repaintWindow();
    return outcome.ok;
}

void RecordingControls::SpeedButton2Click() {
    QFileDialog dialog(m_dialogParent);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(openFileFilters());
    dialog.selectNameFilter(openFileFilters().front());
    if (!m_lastFolder.isEmpty()) {
        dialog.setDirectory(m_lastFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString name = dialog.selectedFiles().front();
    m_lastFolder = QFileInfo(name).absolutePath();
    // A long load shows its rows in a progress dialog with Cancel and keeps the window alive.
    ProgressRun run(m_dialogParent, QStringLiteral("Loading"));
    const std::string bytes = fileNameBytes(name);
    const FileOutcome outcome =
        LoadDataFile(bytes, m_table, false, [&run](const LoadProgress& progress) {
            return run.step(QStringLiteral("%L1 rows read").arg(progress.rows),
                            ProgressGate::percent(progress.bytesRead, progress.bytesTotal));
        });
    if (!outcome.ok && !outcome.cancelled) {
        showLoadErrorBox(m_dialogParent, boxText(outcome.reason));
    } else if (outcome.ok && isPacketName(bytes)) {
        m_recorder.sinks().rowsDiscarded();  // the recorded rows left the table
        emit tableReplaced();
    }
}

void RecordingControls::MajPrintClick() {
    if (m_table.empty()) {
        showInformationBox(m_dialogParent, QString::fromLatin1(kNothingToPrintText));
        return;
    }
    if (previewReport(m_table, m_dialogParent,
                      [this](const QString& fileName) { emit reportWritten(fileName); })) {
        repaintWindow();
    }
}

void RecordingControls::repaintWindow() {
    if (m_dialogParent != nullptr) {
        m_dialogParent->window()->update();
    }
}
