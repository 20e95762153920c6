#include "quorvel/tasks/TaskOutcome.h"

#include <QCoreApplication>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"

TaskOutcome TaskOutcome::failure(const QString& reason, const QString& deviceReason)
{
    return TaskOutcome{false, reason, peerText(deviceReason)};
}

QString TaskOutcome::peerText(const QString& text, int max)
{
    QString out;
    for (const QChar c : text.left(max))
        out += c.isPrint() ? QString(c) : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return text.size() > max ? out + QStringLiteral("...") : out;
}

QString TaskOutcome::text() const
{
    if (deviceReason.isEmpty())
        return reason;
    if (reason.isEmpty())
        return deviceReason;
    return reason + QStringLiteral(": ") + deviceReason;
}

QString TaskOutcome::who(const ServerContent& party)
{
    const QString address = party.address.toString();
    if (party.name.isEmpty() || party.name == address)
        return address;
    return QStringLiteral("%1 (%2)").arg(party.name, address);
}

QString TaskOutcome::noAnswer(const ServerContent& party, int waitedMs)
{
    return QCoreApplication::translate("TaskOutcome", "%1 在 %2 秒内没有回复")
        .arg(who(party))
        .arg(waitedMs / 1000.0, 0, 'g', 3);
}

QString TaskOutcome::badReply(const ServerContent& party)
{
    return QCoreApplication::translate("TaskOutcome", "%1 发送的回复无效").arg(who(party));
}

namespace {
// Both cross threads in queued signals from the first task on.
void registerTaskMetaTypes()
{
    qRegisterMetaType<TaskOutcome>("TaskOutcome");
    qRegisterMetaType<ProgressContent>("ProgressContent");
}
} // namespace
Q_CONSTRUCTOR_FUNCTION(registerTaskMetaTypes)
