#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/TaskOutcome.h"

class QTimer;
class ClientSettings;
class TransferQueue;

// Files that devices and other clients offer to this client: each offer is accepted,
// declined, or put to the user (through UserInteraction; offers that arrive while a
// question is open are asked about together in the next one), and an accepted one is
// fetched into the download folder. Anyone on the network can offer, so what is held is
// bounded: offers waiting for an answer, for their turn or being fetched are capped per
// party and in all, and further ones are declined (summed up in one log line per
// period). A party's accepted offers are fetched a few at a time, so that one party's
// batch (or flood) never takes every transfer thread from the others.
class OfferInbox : public QObject {
    Q_OBJECT
public:
    enum Policy { Ask, AcceptAll };
    struct Limits {
        // Offers held at once (waiting for the user, for their turn or being fetched):
        // from one party, in all. A batch of a thousand small files from one PC fits.
        int perParty = 1000;
        int inAll = 4000;
        // Fetches running at once for one party.
        int fetchingPerParty = 2;
    };

    struct Offer {
        QString remotePath;
        ServerContent from;
    };

    // Accepted offers land in the settings' download folder; both arguments outlive
    // the inbox.
    OfferInbox(TransferQueue* transfers, const ClientSettings& settings, QObject* parent = nullptr);
    OfferInbox(
        TransferQueue* transfers, const ClientSettings& settings, const Limits& limits, QObject* parent = nullptr);

    void setPolicy(Policy policy) { m_policy = policy; }
    // Only these parties' offers go on to the policy, each named by ADDRESS or by
    // NAME@ADDRESS (the name in any case, and the address too); the others' are declined at
    // once. Empty: every party's. A name alone matches no one: it is what the party says
    // of itself, and any host may say it.
    void setAcceptFrom(const QStringList& parties) { m_acceptFrom = parties; }
    // True when party is ADDRESS or NAME@ADDRESS.
    static bool isPartyRule(const QString& party);
    // Where accepted files go; empty: the DownloadPath setting.
    void setFolder(const QString& folder) { m_folder = folder; }
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
    void startFetches(const QString& party);
    void release(const QString& party);
    void reportDeclined();
    bool acceptsFrom(const ServerContent& party) const;

    TransferQueue* m_transfers;
    const ClientSettings& m_settings;
    const Limits m_limits;
    Policy m_policy = Ask;
    QStringList m_acceptFrom;
    QString m_folder;
    QList<Offer> m_waiting;
    int m_asking = 0; // offers in the open question
    int m_held = 0;
    QHash<QString, int> m_heldBy; // party address -> offers held
    QHash<int, QString> m_fetching; // transfer number -> party address
    QHash<QString, int> m_fetchingBy; // party address -> fetches running
    QHash<QString, QList<Offer>> m_queued; // party address -> accepted, waiting for their turn
    // Declined over the limit since the last summary, by party.
    QHash<QString, int> m_overLimit;
    QTimer* m_report;
};

Q_DECLARE_METATYPE(OfferInbox::Offer)
