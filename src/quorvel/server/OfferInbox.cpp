#include "OfferInbox.h"

#include <QPointer>

#include "Config.h"
#include "IncomingFile.h"
#include "ReplyOperate.h"
#include "TransferQueue.h"
#include "UserInteraction.h"

OfferInbox::OfferInbox(TransferQueue* transfers, QObject* parent)
    : QObject(parent)
    , m_transfers(transfers)
{
    qRegisterMetaType<OfferInbox::Offer>();
    connect(ReplyOperate::relay(), &ReplyOperate::isDownloadFile, this,
        [this](const QString& path, const ServerContent& from, quint16) { onOffered(path, from); });
}

void OfferInbox::onOffered(const QString& remotePath, const ServerContent& from)
{
    const Offer offer{remotePath, from};
    emit offered(offer);
    if (m_policy == AcceptAll) {
        fetch(offer);
        return;
    }
    m_waiting.append(offer);
    askNext();
}

void OfferInbox::askNext()
{
    if (m_asking || m_waiting.isEmpty())
        return;
    m_asking = true;
    const Offer& offer = m_waiting.first();
    QString reason;
    const QString name = IncomingFile::nameOf(offer.remotePath, &reason);
    QPointer<OfferInbox> self(this);
    UserInteraction::current()->askAcceptOffer(offer.from, name, [self](bool take) {
        if (self)
            self->answer(take);
    });
}

void OfferInbox::answer(bool take)
{
    m_asking = false;
    if (m_waiting.isEmpty())
        return; // declined meanwhile
    const Offer offer = m_waiting.takeFirst();
    if (take)
        fetch(offer);
    else
        emit declined(offer, tr("declined"));
    askNext();
}

void OfferInbox::fetch(const Offer& offer)
{
    QString reason;
    const QString name = IncomingFile::nameOf(offer.remotePath, &reason);
    if (name.isEmpty()) {
        emit declined(offer, reason);
        return;
    }
    const QString folder = Config::instance()->value(Config::DownloadPath).toString();
    const QString target = IncomingFile::targetIn(folder, name, &reason);
    if (target.isEmpty()) {
        emit declined(offer, reason);
        return;
    }
    emit accepted(offer, m_transfers->download(offer.remotePath, target, offer.from), target);
}
