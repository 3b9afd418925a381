#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "recording/journal_folder.h"

class QMessageBox;
class QWidget;
class RecordingRoom;

// The offer of the readings of sessions that ended unexpectedly (a crash, a kill, a power
// cut): one box per session whose journal's lock is free, non-modal so the window never hides
// behind it, with "Restore" (into the table, as unsaved rows of this session), "Save as…",
// "Discard" and "Later" (the journal stays for the next start). Each session stays locked
// while its box is open, so another window never offers it at the same time.
class RecoveryOffer : public QObject {
    Q_OBJECT

public:
    RecoveryOffer(RecordingRoom& room, QWidget* window, QObject* parent = nullptr);
    ~RecoveryOffer() override;

    // Looks in the journal folder and shows a box per recoverable session; returns how many.
    int start(const std::string& journalFolder);
    // The boxes still open, oldest session first (for tests).
    std::vector<QMessageBox*> boxes() const;

    // "The last session ended unexpectedly. N readings recorded from T1 to T2 were not saved."
    static QString offerText(const SessionSummary& summary);

private:
    struct Offer;
    void answer(Offer& offer, int choice);
    void showOffer(Offer& offer);

    RecordingRoom& m_room;
    QWidget* m_window;
    std::vector<std::unique_ptr<Offer>> m_offers;
};
