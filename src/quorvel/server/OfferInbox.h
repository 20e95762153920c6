#pragma once

#include <QHash>
#include <QList>
#include <QObject>

#include "ProgressContent.h"
#include "ServerContent.h"
#include "TaskOutcome.h"

class QTimer;
class TransferQueue;

// Files that devices and other clients offer to this client: each offer is accepted,
// declined, or put to the user (through UserInteraction; offers that arrive while a
// question is open are asked about together in the next one), and an accepted one is
// fetched into the download folder. Anyone on the network can offer, so what is held is
// bounded: offers waiting for an answer or being fetched are capped per party and in
// all, and further ones are declined (summed up in one log line per period).
class OfferInbox : public QObject {
    Q_OBJECT
public:
    enum Policy { Ask, AcceptAll };
    // Offers held at once (waiting for the user or being fetched): from one party, in all.
    static constexpr int MaxPerParty = 2;
    static constexpr int MaxHeld = 16;

    struct Offer {
        QString remotePath;
        ServerContent from;
    };

    OfferInbox(TransferQueue* transfers, QObject* parent = nullptr);

    void setPolicy(Policy policy) { m_policy = policy; }
    // Takes an offer as the listener reports it.
    void onOffered(const QString& remotePath, const ServerContent& from);
    // Offers held now (waiting or being fetched).
    int held() const { return m_held; }

signals:
    void offered(OfferInbox::Offer offer);
    // Fetching started: the transfer's number in the queue, and where the file goes.
    void accepted(OfferInbox::Offer offer, int transferId, QString localPath);
    void declined(OfferInbox::Offer offer, QString why);

private:
    void askNext();
    void answer(const QList<bool>& take);
    void fetch(const Offer& offer);
    void release(const QString& party);
    void reportDeclined();

    TransferQueue* m_transfers;
    Policy m_policy = Ask;
    QList<Offer> m_waiting;
    int m_asking = 0; // offers in the open question
    int m_held = 0;
    QHash<QString, int> m_heldBy; // party address -> offers held
    QHash<int, QString> m_fetching; // transfer number -> party address
    // Declined over the limit since the last summary, by party.
    QHash<QString, int> m_overLimit;
    QTimer* m_report;
};

Q_DECLARE_METATYPE(OfferInbox::Offer)
