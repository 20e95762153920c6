#include "quorvel/tasks/TaskOutcome.h"

#include <QCoreApplication>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"

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
    return QCoreApplication::translate("TaskOutcome", "%1 did not answer within %2 s")
        .arg(who(party))
        .arg(waitedMs / 1000.0, 0, 'g', 3);
}

QString TaskOutcome::badReply(const ServerContent& party)
{
    return QCoreApplication::translate("TaskOutcome", "%1 sent an answer that is not valid").arg(who(party));
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
