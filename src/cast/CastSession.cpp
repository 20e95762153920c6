#include "cast/CastSession.h"

#include <QSemaphore>
#include <QThreadPool>
#include <memory>

#include "cast/CastControllerClient.h"
#include "cast/VantropeTask.h"
#include "platform/ProgramLauncher.h"
#include "platform/UserInteraction.h"
#include "quorvel/storage/ClientSettings.h"

namespace {
constexpr int StopWaitMs = 1800; // the program's grace, its termination, a kill
const QString CastFeature = QStringLiteral("Vantrope");
} // namespace

CastSession::CastSession(ClientSettings& settings, UserInteraction& user, QThreadPool& pool, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_user(user)
    , m_pool(pool)
{
}

CastSession::~CastSession()
{
    if (!m_task)
        return;
    // The task holds its pool thread while the casting program runs: ask the program to
    // stop and give it a moment. Questions the task still waits on are dropped with
    // this object, which releases it.
    quit();
    m_taskDone->tryAcquire(1, StopWaitMs);
    delete m_link;
}

bool CastSession::start(const ServerContent& device, const QSize& screen)
{
    if (m_task) {
        emit ended(TaskOutcome::failure(tr("已有一个投射在进行")));
        return false;
    }
    bool found = false;
    const SupportEntry feature = device.supportPort(CastFeature, &found);
    if (!found || feature.port <= 0 || feature.port > 65535) {
        emit ended(TaskOutcome::failure(tr("%1 不支持投射").arg(TaskOutcome::who(device))));
        return false;
    }
    if (ProgramLauncher::findProgram(VantropeTask::programName()).isEmpty()) {
        emit ended(TaskOutcome::failure(tr("找不到投射程序 %1").arg(VantropeTask::programName())));
        return false;
    }
    m_stopRequested = false;
    m_task = new VantropeTask(m_settings, device.address, quint16(feature.port),
        device.name.isEmpty() ? device.address.toString() : device.name, m_settings.clientName(), screen.width(),
        screen.height());
    VantropeTask* task = m_task;
    connect(
        task, &VantropeTask::waitForUserConfirmCast, this,
        [this, task](const QString& name) { task->setConfirmCastResult(m_user.confirmCast(name)); },
        Qt::BlockingQueuedConnection);
    connect(
        task, &VantropeTask::waitForUserInputPassword, this,
        [this, task](const QString& password, const QString& title, const QString& content) {
            task->setPassword(m_user.askCastPassword(password, title, content));
        },
        Qt::BlockingQueuedConnection);
    connect(task, &VantropeTask::onStarted, this, &CastSession::started);
    connect(task, &VantropeTask::castServerName, this, &CastSession::link);
    m_taskDone = std::make_shared<QSemaphore>();
    connect(
        task, &Task::ended, task, [done = m_taskDone] { done->release(); }, Qt::DirectConnection);
    connect(task, &Task::ended, this, &CastSession::onTaskEnded);
    m_handle = TaskHandle(task);
    m_pool.start(task);
    return true;
}

void CastSession::link(const QString& serverName)
{
    delete m_link;
    m_link = new CastControllerClient(serverName, this);
    connect(m_link, &CastControllerClient::serverConnected, this, [this] {
        emit programConnected();
        // A stop asked for while the program was still starting reaches it now.
        if (m_stopRequested)
            m_link->sendStop();
    });
    connect(m_link, &CastControllerClient::castConnected, this, &CastSession::casting);
    connect(m_link, &CastControllerClient::castPaused, this, &CastSession::paused);
    connect(m_link, &CastControllerClient::castResumed, this, &CastSession::resumed);
    connect(m_link, &CastControllerClient::castDisconnected, this, &CastSession::disconnected);
    m_link->start();
}

void CastSession::onTaskEnded(const TaskOutcome& outcome)
{
    m_task = nullptr; // its pool deletes it
    delete m_link;
    m_link = nullptr;
    emit ended(outcome);
}

void CastSession::pause()
{
    if (m_link)
        m_link->sendPause();
}

void CastSession::resume()
{
    if (m_link)
        m_link->sendResume();
}

void CastSession::changeAspectRatio()
{
    if (m_link)
        m_link->sendChangeAspectRatio();
}

void CastSession::stop()
{
    m_stopRequested = true;
    if (m_link)
        m_link->sendStop();
}

void CastSession::quit()
{
    stop();
    m_handle.cancel();
}
