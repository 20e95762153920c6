#include "quorvel/transfer/SalutatorySetter.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"

SalutatorySetter::SalutatorySetter(const QString& salutatory, const ServerContent& server)
    : FileCommand(server)
    , m_salutatory(salutatory)
{
}

void SalutatorySetter::execute()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::salutatory(m_salutatory), &reply))
        return;
    if (!accepted(reply, tr("%1 没有接受欢迎辞").arg(TaskOutcome::who(m_server))))
        qCritical("[E][%s] Salutatory setting fail: %s", "SalutatorySetter", qUtf8Printable(outcome().deviceReason));
}
