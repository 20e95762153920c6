#include "quorvel/services/OfferInbox.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>

#include "platform/UserInteraction.h"
#include "quorvel/server/IncomingFile.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/tasks/Timing.h"

OfferInbox::OfferInbox(TransferQueue* transfers, const ClientSettings& settings, QObject* parent)
    : OfferInbox(transfers, settings, Limits(), parent)
{
}

OfferInbox::OfferInbox(TransferQueue* transfers, const ClientSettings& settings, const Limits& limits, QObject* parent)
    : QObject(parent)
    , m_transfers(transfers)
    , m_settings(settings)
    , m_limits(limits)
    , m_report(new QTimer(this))
{
    qRegisterMetaType<OfferInbox::Offer>();
    connect(m_transfers, &TransferQueue::transferEnded, this, [this](const ProgressContent& last, const TaskOutcome&) {
        if (!m_fetching.contains(last.id))
            return;
        const QString party = m_fetching.take(last.id);
        if (--m_fetchingBy[party] <= 0)
            m_fetchingBy.remove(party);
        release(party);
        startFetches(party);
    });
    m_report->setSingleShot(true);
    connect(m_report, &QTimer::timeout, this, &OfferInbox::reportDeclined);
}

void OfferInbox::onOffered(const QString& remotePath, const ServerContent& from)
{
    const Offer offer{remotePath, from};
    const QString party = from.address.toString();
    if (m_held >= m_limits.inAll || m_heldBy.value(party) >= m_limits.perParty) {
        // Counted, not logged one by one: a flood must not become a flood of log lines.
        ++m_overLimit[party];
        if (!m_report->isActive())
            m_report->start(Timing::current().offerDeclineReportMs);
        emit declined(
            offer, tr("等待中的分发文件过多 (每方 %1 个, 共 %2 个)").arg(m_limits.perParty).arg(m_limits.inAll));
        return;
    }
    ++m_held;
    ++m_heldBy[party];
    emit offered(offer);
    if (!acceptsFrom(from)) {
        emit declined(offer, tr("%1 不在接收文件的来源之列").arg(party));
        release(party);
        return;
    }
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
    // Everything that gathered while the last question was open, in one question.
    m_asking = m_waiting.size();
    QList<UserInteraction::OfferedFile> files;
    for (const Offer& offer : qAsConst(m_waiting)) {
        QString reason;
        files.append({offer.from, IncomingFile::nameOf(offer.remotePath, &reason)});
    }
    QPointer<OfferInbox> self(this);
    m_transfers->user().askAcceptOffers(files, [self](const QList<bool>& take) {
        if (self)
            self->answer(take);
    });
}

void OfferInbox::answer(const QList<bool>& take)
{
    const int asked = m_asking;
    m_asking = 0;
    for (int i = 0; i < asked && !m_waiting.isEmpty(); ++i) {
        const Offer offer = m_waiting.takeFirst();
        if (take.value(i)) {
            fetch(offer);
        } else {
            emit declined(offer, tr("已拒绝"));
            release(offer.from.address.toString());
        }
    }
    askNext();
}

void OfferInbox::fetch(const Offer& offer)
{
    const QString party = offer.from.address.toString();
    m_queued[party].append(offer);
    startFetches(party);
}

void OfferInbox::startFetches(const QString& party)
{
    auto queued = m_queued.find(party);
    while (queued != m_queued.end() && !queued->isEmpty() && m_fetchingBy.value(party) < m_limits.fetchingPerParty) {
        const Offer offer = queued->takeFirst();
        QString reason;
        const QString name = IncomingFile::nameOf(offer.remotePath, &reason);
        const QString folder = m_folder.isEmpty() ? m_settings.downloadFolder() : m_folder;
        const QString target
            = name.isEmpty() ? QString() : IncomingFile::targetIn(folder, name, offer.from, offer.remotePath, &reason);
        if (target.isEmpty()) {
            emit declined(offer, reason);
            release(party);
            queued = m_queued.find(party);
            continue;
        }
        const int id = m_transfers->download(offer.remotePath, target, offer.from);
        m_fetching.insert(id, party);
        ++m_fetchingBy[party];
        emit accepted(offer, id, target);
        queued = m_queued.find(party);
    }
    if (queued != m_queued.end() && queued->isEmpty())
        m_queued.erase(queued);
}

namespace {
// ADDRESS or NAME@ADDRESS: the address, and the name (empty for none).
bool splitPartyRule(const QString& rule, QString* name, QHostAddress* address)
{
    const int at = rule.lastIndexOf(QLatin1Char('@'));
    *name = at < 0 ? QString() : rule.left(at);
    *address = QHostAddress(rule.mid(at + 1));
    return !address->isNull() && (at < 0 || !name->isEmpty());
}
} // namespace

bool OfferInbox::isPartyRule(const QString& party)
{
    QString name;
    QHostAddress address;
    return splitPartyRule(party, &name, &address);
}

bool OfferInbox::acceptsFrom(const ServerContent& party) const
{
    if (m_acceptFrom.isEmpty())
        return true;
    for (const QString& wanted : m_acceptFrom) {
        QString name;
        QHostAddress address;
        if (splitPartyRule(wanted, &name, &address)
            && address.isEqual(party.address, QHostAddress::ConvertV4MappedToIPv4)
            && (name.isEmpty() || name.compare(party.name, Qt::CaseInsensitive) == 0))
            return true;
    }
    return false;
}

void OfferInbox::release(const QString& party)
{
    --m_held;
    if (--m_heldBy[party] <= 0)
        m_heldBy.remove(party);
}

void OfferInbox::reportDeclined()
{
    int total = 0;
    QString most;
    for (auto it = m_overLimit.cbegin(); it != m_overLimit.cend(); ++it) {
        total += it.value();
        if (most.isEmpty() || it.value() > m_overLimit.value(most))
            most = it.key();
    }
    qWarning("[W][%s] Declined %s offers over the limit (%d held per party, %d in all) in the last %d s, from %d "
             "parties, most from %s (%s).",
        "OfferInbox", qPrintable(QLocale(QLocale::English).toString(total)), m_limits.perParty, m_limits.inAll,
        Timing::current().offerDeclineReportMs / 1000, int(m_overLimit.size()), qPrintable(most),
        qPrintable(QLocale(QLocale::English).toString(m_overLimit.value(most))));
    m_overLimit.clear();
}
