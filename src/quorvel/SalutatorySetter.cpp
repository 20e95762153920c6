#include "SalutatorySetter.h"

#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "UserNotices.h"

SalutatorySetter::SalutatorySetter(const QString& salutatory, const ServerContent& server, QObject* parent)
    : FileCommand(server, parent)
    , m_salutatory(salutatory)
{
    connect(this, &SalutatorySetter::notify, UserNotices::instance(), &UserNotices::notify);
}

SalutatorySetter::~SalutatorySetter()
{
    emit notify(m_result ? tr("设置欢迎辞成功.") : tr("设置欢迎辞失败."));
}

void SalutatorySetter::run()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::salutatory(m_salutatory), &reply))
        return;
    if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Ok) {
        m_result = true;
        return;
    }
    qCritical("[E][%s] Salutatory setting fail: %s", "SalutatorySetter",
        reply.value(ProtocolKey::Reason).toString().toUtf8().constData());
}
