#include "cast/CastControllerClient.h"

#include "cast/SendDataBridge.h"

namespace {
const char* const Tag = "CastControllerClient";
}

CastControllerClient::CastControllerClient(const QString& serverName, QObject* parent)
    : QObject(parent)
    , m_serverName(serverName)
    , m_bridge(new SendDataBridge(this))
{
}

CastControllerClient::~CastControllerClient()
{
    m_thread.quit();
    m_thread.wait();
}

bool CastControllerClient::start()
{
    if (m_thread.isRunning()) {
        qWarning("[W][%s] CastController is running.", Tag);
        return false;
    }
    qRegisterMetaType<CastLinkWorker::Status>();
    // A worker per run, made here and deleted on its own thread when the run ends.
    auto* worker = new CastLinkWorker(m_serverName);
    worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, worker, &CastLinkWorker::begin);
    connect(&m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(m_bridge, &SendDataBridge::dataSended, worker, &CastLinkWorker::send);
    connect(worker, &CastLinkWorker::serverConnected, this, &CastControllerClient::onServerConnected);
    connect(worker, &CastLinkWorker::serverDisconnected, this, &CastControllerClient::onServerDisconnected);
    connect(worker, &CastLinkWorker::status, this, &CastControllerClient::onStatus);
    connect(worker, &CastLinkWorker::error, this, &CastControllerClient::error);
    m_thread.start(QThread::InheritPriority);
    return true;
}

void CastControllerClient::onServerConnected()
{
    m_serverConnected = true;
    emit serverConnected();
}

void CastControllerClient::onServerDisconnected()
{
    m_serverConnected = false;
    m_castConnected = false;
    m_playing = false;
    emit serverDisconnected();
}

void CastControllerClient::onStatus(CastLinkWorker::Status status)
{
    switch (status) {
    case CastLinkWorker::Status::CastConnected:
        m_castConnected = true;
        m_playing = true;
        emit castConnected();
        break;
    case CastLinkWorker::Status::CastDisconnected:
        m_castConnected = false;
        emit castDisconnected();
        break;
    case CastLinkWorker::Status::CastResumed:
        m_playing = true;
        emit castResumed();
        break;
    case CastLinkWorker::Status::CastPaused:
        m_playing = false;
        emit castPaused();
        break;
    }
}

bool CastControllerClient::send(const char* command)
{
    emit m_bridge->dataSended(QByteArray(command));
    return true;
}

bool CastControllerClient::sendPause()
{
    return m_serverConnected && m_castConnected && m_playing && send("pause\r\n");
}

bool CastControllerClient::sendResume()
{
    return m_serverConnected && m_castConnected && !m_playing && send("resume\r\n");
}

bool CastControllerClient::sendStop()
{
    return m_serverConnected && send("stop\r\n");
}

bool CastControllerClient::sendChangeAspectRatio()
{
    return m_serverConnected && m_castConnected && m_playing && send("changeAspectRatio\r\n");
}
