#include "recording/ui/recovery_offer.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "recording/data_files.h"
#include "recording/ui/message_boxes.h"
#include "recording/ui/recording_controls.h"
#include "recording/ui/recording_room.h"

namespace {

enum Choice { Restore, SaveAs, Discard, Later };

}  // namespace

struct RecoveryOffer::Offer {
    RecoverableSession session;
    JournalContent content;
    SessionSummary summary;
    QPointer<QMessageBox> box;
};

RecoveryOffer::RecoveryOffer(RecordingRoom& room, QWidget* window, QObject* parent)
    : QObject(parent), m_room(room), m_window(window) {}

RecoveryOffer::~RecoveryOffer() {
    for (const auto& offer : m_offers) {
        delete offer->box.data();
    }
}

QString RecoveryOffer::offerText(const SessionSummary& s) {
    return QStringLiteral(
               "The last session ended unexpectedly. %1 readings recorded from %2 to %3 were not "
               "saved.")
        .arg(s.rows)
        .arg(QString::fromStdString(localTimeText(s.first)),
             QString::fromStdString(localTimeText(s.last)));
}

int RecoveryOffer::start(const std::string& journalFolder) {
    int shown = 0;
    for (RecoverableSession& session : findRecoverableSessions(journalFolder)) {
        auto offer = std::make_unique<Offer>(Offer{std::move(session), {}, {}, {}});
        offer->content = offer->session.read();
        offer->summary = summarize(offer->session.id(), offer->content);
        if (offer->summary.rows == 0 && offer->summary.droppedBytes == 0) {
            offer->session.discard();  // nothing in it
            continue;
        }
        showOffer(*offer);
        m_offers.push_back(std::move(offer));
        ++shown;
    }
    return shown;
}

void RecoveryOffer::showOffer(Offer& offer) {
    auto* box = new QMessageBox(QMessageBox::Warning,
                                m_window != nullptr ? m_window->windowTitle() : QString(),
                                offerText(offer.summary), QMessageBox::NoButton, m_window);
    box->setObjectName(QStringLiteral("recoveryOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QString details = QStringLiteral("Session %1").arg(QString::fromStdString(offer.summary.id));
    if (!offer.summary.link.empty()) {
        details += QStringLiteral(", %1").arg(QString::fromStdString(offer.summary.link));
    }
    details += QLatin1Char('.');
    if (offer.summary.droppedBytes > 0) {
        details += QStringLiteral(
                       " Its journal was damaged: %L1 bytes at its end could not be read and "
                       "were dropped.")
                       .arg(offer.summary.droppedBytes);
    }
    box->setInformativeText(details);
    QPushButton* restore = box->addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Save as\u2026"), QMessageBox::ActionRole)
        ->setObjectName(QStringLiteral("saveAs"));
    box->addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole)
        ->setObjectName(QStringLiteral("discard"));
    QPushButton* later = box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    restore->setObjectName(QStringLiteral("restore"));
    later->setObjectName(QStringLiteral("later"));
    box->setDefaultButton(restore);
    box->setEscapeButton(later);
    connect(box, &QMessageBox::buttonClicked, this, [this, &offer, box](QAbstractButton* b) {
        const QString name = b->objectName();
        const int choice = name == QLatin1String("restore")   ? Restore
                           : name == QLatin1String("saveAs")  ? SaveAs
                           : name == QLatin1String("discard") ? Discard
                                                              : Later;
        // The box closes by itself; the answer runs once it has.
        QMetaObject::invokeMethod(
            this, [this, &offer, choice] { answer(offer, choice); }, Qt::QueuedConnection);
        (void)box;
    });
    offer.box = box;
    box->show();
}

void RecoveryOffer::answer(Offer& offer, int choice) {
    switch (choice) {
        case Restore:
            m_room.restoreRows(offer.content.rows);
            offer.session.discard();
            break;
        case SaveAs: {
            QFileDialog dialog(m_window);
            dialog.setObjectName(QStringLiteral("recoverySaveDialog"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setNameFilters(RecordingControls::fileFilters());
            dialog.setDefaultSuffix(QStringLiteral("xls"));
            connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
                dialog.setDefaultSuffix(RecordingControls::suffixOfFilter(f));
            });
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
                showOffer(offer);  // not answered yet
                return;
            }
            const std::string name =
                QFile::encodeName(dialog.selectedFiles().front()).toStdString();
            const FileOutcome outcome = saveTable(offer.content.rows, name);
            if (!outcome.message.empty()) {
                showPlainBox(m_window, QString::fromLocal8Bit(outcome.message));
            }
            if (!outcome.ok) {
                showOffer(offer);
                return;
            }
            offer.session.discard();
            break;
        }
        case Discard:
            offer.session.discard();
            break;
        default:
            break;  // Later: the journal stays, and the lock goes with the offer
    }
    std::erase_if(m_offers,
                  [&offer](const std::unique_ptr<Offer>& o) { return o.get() == &offer; });
}

std::vector<QMessageBox*> RecoveryOffer::boxes() const {
    std::vector<QMessageBox*> open;
    for (const auto& offer : m_offers) {
        if (offer->box != nullptr) {
            open.push_back(offer->box.data());
        }
    }
    return open;
}
