#include "cast/VantropeTask.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QUdpSocket>

#include "platform/ProgramLauncher.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/storage/ClientSettings.h"

namespace {
const char* const Tag = "VantropeTask";
constexpr int ReplyWaitMs = 2000;
const QString CastServer = QStringLiteral("cast");
constexpr int QuotedChars = 64;

// A peer's text in a reason or a log line: quoted, cut short, control characters escaped.
QString quotedIp(const QString& text)
{
    return QLatin1Char('"') + TaskOutcome::peerText(text, QuotedChars) + QLatin1Char('"');
}
QMutex g_programLock;
QString g_program = QStringLiteral("Vantrope");
} // namespace

VantropeTask::RunCastCallback::RunCastCallback(VantropeTask* task, const QString& serverName)
    : m_task(task)
    , m_serverName(serverName)
{
}

void VantropeTask::RunCastCallback::run()
{
    emit m_task->castServerName(m_serverName);
}

VantropeTask::VantropeTask(ClientSettings& settings, const QHostAddress& address, quint16 port,
    const QString& deviceName, const QString& clientName, int sourceWidth, int sourceHeight)
    : m_settings(settings)
    , m_address(address)
    , m_port(port)
    , m_deviceName(deviceName)
    , m_clientName(clientName)
    , m_sourceWidth(sourceWidth)
    , m_sourceHeight(sourceHeight)
{
}

QString VantropeTask::programName()
{
    QMutexLocker lock(&g_programLock);
    return g_program;
}

void VantropeTask::setProgramNameForTests(const QString& name)
{
    QMutexLocker lock(&g_programLock);
    g_program = name;
}

QString VantropeTask::passwordDigest(const QString& password, const QString& randomData)
{
    const QByteArray inner = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
    return QString::fromLatin1(QCryptographicHash::hash(inner + randomData.toUtf8(), QCryptographicHash::Md5).toHex());
}

void VantropeTask::setConfirmCastResult(bool confirmed)
{
    m_confirmCastResult = confirmed;
    qDebug("[I][%s] User confirm cast: %s", Tag, confirmed ? "true" : "false");
}

void VantropeTask::setPassword(const QString& password)
{
    m_password = password;
    qDebug("[I][%s] User inputed password.", Tag);
}

void VantropeTask::error(const char* logText, const QString& reason)
{
    m_errString = reason;
    qCritical("[E][%s] %s", Tag, logText);
}

void VantropeTask::failWith(const QString& text)
{
    // A question the user declined or left empty ends without an error text.
    if (text.isEmpty())
        stopped(tr("投射已取消"));
    else
        fail(text);
    emit errMsg(text);
}

QtJson::JsonObject VantropeTask::request(const char* type, const QString& passwd) const
{
    QtJson::JsonObject object;
    object.insert(ProtocolKey::Type, QString::fromLatin1(type));
    // The cast identity follows the same rule as the client identifier.
    object.insert(ProtocolKey::Uuid, ProtocolDefinedJsonObject::clientUuid());
    if (!passwd.isEmpty())
        object.insert(QStringLiteral("passwd"), passwd);
    return object;
}

bool VantropeTask::sendData(QUdpSocket& socket, const QtJson::JsonObject& object)
{
    bool ok = false;
    const QByteArray bytes = QtJson::serialize(object, ok);
    if (!ok) {
        error("Serialize data fail.", tr("无法组成发给 %1 的请求").arg(m_deviceName));
        return false;
    }
    if (socket.writeDatagram(bytes, m_address, m_port) == -1) {
        error("Socket write data fail.", tr("无法向 %1 发送请求: %2").arg(m_deviceName, socket.errorString()));
        return false;
    }
    return true;
}

bool VantropeTask::receiveData(QUdpSocket& socket, QtJson::JsonObject& object)
{
    if (!socket.waitForReadyRead(ReplyWaitMs) || !socket.hasPendingDatagrams()) {
        error("socket wait for read timeout.", tr("%1 在 %2 秒内没有回复").arg(m_deviceName).arg(ReplyWaitMs / 1000));
        return false;
    }
    const QNetworkDatagram datagram = socket.receiveDatagram();
    if (!datagram.isValid()) {
        error("Socket read data fail.", tr("无法读取 %1 的回复: %2").arg(m_deviceName, socket.errorString()));
        return false;
    }
    QByteArray bytes = datagram.data();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    bool ok = false;
    const QVariant parsed = QtJson::parse(QString::fromUtf8(bytes), ok);
    if (!ok) {
        error("Parse json data fail.", tr("%1 发送的回复无效").arg(m_deviceName));
        return false;
    }
    object = parsed.toMap();
    return true;
}

bool VantropeTask::handleResponse(const QtJson::JsonObject& reply, QString& uuid)
{
    uuid = reply.value(ProtocolKey::Uuid).toString();
    if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Ok)
        return true;
    m_errorCode = reply.value(QStringLiteral("error_code"), NoErrorCode).toInt();
    if (m_errorCode == WrongPassword)
        m_errString = tr("密码错误!");
    else
        m_errString = tr("服务器回复错误:") + reply.value(ProtocolKey::Reason).toString();
    qCritical("[E][%s] %s", Tag, m_errString.toUtf8().constData());
    return false;
}

bool VantropeTask::getAuth(QUdpSocket& socket, QString& passwd)
{
    QtJson::JsonObject reply;
    QString uuid;
    if (!sendData(socket, request("get_auth", QString())) || !receiveData(socket, reply)
        || !handleResponse(reply, uuid))
        return false;
    if (!reply.value(QStringLiteral("need_passwd")).toBool())
        return true;
    m_password = m_settings.castPassword(uuid);
    if (m_password.isEmpty() || m_errorCode == WrongPassword) {
        QString content = tr("请输入\"%1\"的投射密码").arg(m_deviceName);
        if (m_errorCode == WrongPassword) {
            m_errorCode = 0;
            content += tr("\n密码错误, 请重新输入");
        }
        emit waitForUserInputPassword(m_password, QStringLiteral("Vantrope"), content);
        if (m_password.isEmpty()) {
            qWarning("[W][%s] User not input password.", Tag);
            return false;
        }
        // Kept at once, before the device accepted it: the next cast tries it first.
        m_settings.setCastPassword(uuid, m_password);
    }
    passwd = passwordDigest(m_password, reply.value(QStringLiteral("random_data")).toString());
    return true;
}

bool VantropeTask::sendConfirm(QUdpSocket& socket)
{
    QString passwd;
    if (!getAuth(socket, passwd))
        return false;
    QtJson::JsonObject confirm = request("confirm", passwd);
    confirm.insert(ProtocolKey::Name, m_clientName);
    QtJson::JsonObject reply;
    QString uuid;
    if (!sendData(socket, confirm) || !receiveData(socket, reply) || !handleResponse(reply, uuid))
        return false;
    emit waitForUserConfirmCast(m_deviceName);
    if (!m_confirmCastResult) {
        sendCancelConfirm(socket);
        return false;
    }
    return true;
}

bool VantropeTask::sendCancelConfirm(QUdpSocket& socket)
{
    QString passwd;
    getAuth(socket, passwd);
    if (!sendData(socket, request("cancel_confirm", passwd)))
        return false;
    QtJson::JsonObject reply;
    return receiveData(socket, reply);
}

bool VantropeTask::sendCast(QUdpSocket& socket, QString& ip)
{
    QString passwd;
    if (!getAuth(socket, passwd) && !m_errString.contains(QLatin1String("Unknow type:")))
        return false;
    QtJson::JsonObject cast = request("cast", passwd);
    cast.insert(QStringLiteral("port"), StreamPort);
    cast.insert(QStringLiteral("source_width"), m_sourceWidth);
    cast.insert(QStringLiteral("source_height"), m_sourceHeight);
    cast.insert(QStringLiteral("quor_touch_port"), TouchPort);
    QtJson::JsonObject reply;
    QString uuid;
    if (!sendData(socket, cast) || !receiveData(socket, reply) || !handleResponse(reply, uuid))
        return false;
    ip = reply.value(QStringLiteral("ip")).toString();
    return true;
}

bool VantropeTask::isCastAddress(const QString& ip)
{
    // An IPv4 address in four decimal parts, or a host name; never anything that could
    // read as an option or a second argument.
    static const QRegularExpression v4(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9.-]{0,251}[A-Za-z0-9])?$"));
    const QRegularExpressionMatch parts = v4.match(ip);
    if (parts.hasMatch()) {
        for (int i = 1; i <= 4; ++i) {
            if (parts.captured(i).toInt() > 255)
                return false;
        }
        return true;
    }
    return name.match(ip).hasMatch();
}

bool VantropeTask::launchCastProgram(const QString& ip)
{
    // The device's text reaches the program as one argument, and only once it is an
    // address: a reply cannot add options of its own.
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("1")};
    if (!ip.isEmpty())
        arguments << QStringLiteral("-i") << ip;
    arguments << QStringLiteral("-cs") << QString(CastServer);
    RunCastCallback callback(this, CastServer);
    ProgramLauncher::Exit exit;
    if (!ProgramLauncher::launch(
            programName(), arguments, false, true, &callback, &exit, [this] { return isCancelled(); })) {
        m_errString = tr("无法启动投射程序 %1").arg(programName());
        return false;
    }
    if (exit.crashed || exit.code != 0) {
        m_errString = exit.crashed ? tr("投射程序崩溃了") : tr("投射程序已退出, 状态为 %1").arg(exit.code);
        if (!exit.lastError.isEmpty())
            m_errString += QStringLiteral(": ") + exit.lastError;
        return false;
    }
    return true;
}

void VantropeTask::execute()
{
    emit onStarted();
    // Checked before the device is asked: a cast it agreed to that never comes would
    // leave it waiting.
    if (ProgramLauncher::findProgram(programName()).isEmpty())
        return failWith(tr("找不到投射程序 %1").arg(programName()));
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0);

    if (m_settings.confirmCast()) {
        for (;;) {
            m_errString.clear();
            if (sendConfirm(socket))
                break;
            if (m_errorCode == WrongPassword)
                continue;
            if (m_errString.contains(QLatin1String("Unknow type:")))
                break; // the device does not confirm: cast without it
            return failWith(m_errString);
        }
    }
    QString ip;
    for (;;) {
        m_errString.clear();
        if (sendCast(socket, ip))
            break;
        if (m_errorCode == WrongPassword)
            continue;
        return failWith(m_errString);
    }
    if (!ip.isEmpty() && !isCastAddress(ip)) {
        qCritical("[E][%s] The cast reply names no address: %s", Tag, qUtf8Printable(quotedIp(ip)));
        return failWith(tr("%1 没有给出可投射的地址: %2").arg(m_deviceName, quotedIp(ip)));
    }
    if (!launchCastProgram(ip))
        return failWith(m_errString);
    succeed();
    emit onFinished();
}
