#pragma once

#include <QList>
#include <QObject>

#include "ProgressContent.h"
#include "ServerContent.h"
#include "TaskOutcome.h"

class TransferQueue;

// Files that devices and other clients offer to this client: each offer is accepted,
// declined, or put to the user (one question at a time, through UserInteraction), and an
// accepted one is fetched into the download folder.
class OfferInbox : public QObject {
    Q_OBJECT
public:
    enum Policy { Ask, AcceptAll };
    struct Offer {
        QString remotePath;
        ServerContent from;
    };

    OfferInbox(TransferQueue* transfers, QObject* parent = nullptr);

    void setPolicy(Policy policy) { m_policy = policy; }
    // Takes an offer as the listener reports it.
    void onOffered(const QString& remotePath, const ServerContent& from);

signals:
    void offered(OfferInbox::Offer offer);
    // Fetching started: the transfer's number in the queue, and where the file goes.
    void accepted(OfferInbox::Offer offer, int transferId, QString localPath);
    void declined(OfferInbox::Offer offer, QString why);

private:
    void askNext();
    void answer(bool take);
    void fetch(const Offer& offer);

    TransferQueue* m_transfers;
    Policy m_policy = Ask;
    QList<Offer> m_waiting;
    bool m_asking = false;
};

Q_DECLARE_METATYPE(OfferInbox::Offer)
