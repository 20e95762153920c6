#include "quorvel/browse/SalutatorySetter.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/tasks/UserNotices.h"

SalutatorySetter::SalutatorySetter(const QString& salutatory, const ServerContent& server)
    : FileCommand(server)
    , m_salutatory(salutatory)
{
    connect(this, &SalutatorySetter::notify, UserNotices::instance(), &UserNotices::notify);
}

void SalutatorySetter::execute()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::salutatory(m_salutatory), &reply))
        return;
    if (!accepted(reply, tr("%1 没有接受欢迎辞").arg(TaskOutcome::who(m_server))))
        qCritical("[E][%s] Salutatory setting fail: %s", "SalutatorySetter", qUtf8Printable(outcome().deviceReason));
}

void SalutatorySetter::finish()
{
    emit notify(outcome().ok ? tr("设置欢迎辞成功.") : tr("设置欢迎辞失败."));
}
