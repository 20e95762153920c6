#pragma once

#include <QObject>
#include <QSize>
#include <memory>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskHandle.h"
#include "quorvel/tasks/TaskOutcome.h"

class ClientSettings;
class CastControllerClient;
class QSemaphore;
class QThreadPool;
class VantropeTask;

// One screen cast at a time: agrees it with the device (its questions go to the user
// through UserInteraction), then follows and steers the casting program until it ends.
class UserInteraction;

class CastSession : public QObject {
    Q_OBJECT
public:
    // settings: the client name, confirmation and passwords; user answers the device's
    // questions; the cast's task runs on pool (holding a thread while the casting program
    // runs). All three outlive the session.
    CastSession(ClientSettings& settings, UserInteraction& user, QThreadPool& pool, QObject* parent = nullptr);
    // Stops a running cast and waits until the casting program has ended.
    ~CastSession() override;

    // Starts a cast of a screen of the given size; false (and ended() with the reason)
    // when it cannot even be tried.
    bool start(const ServerContent& device, const QSize& screen);
    bool isActive() const { return m_task != nullptr; }

    void pause();
    void resume();
    void changeAspectRatio();
    void stop();
    // Stop for good (the program ends): stop() and, should the casting program ignore it,
    // it is ended a moment later; the cast's end follows within about a second.
    void quit();

signals:
    // The negotiation with the device began.
    void started();
    // The casting program took the link: from now on stop() reaches it.
    void programConnected();
    void casting();
    void paused();
    void resumed();
    void disconnected();
    // The cast is over: agreed and ended as it should, or why not.
    void ended(TaskOutcome outcome);

private:
    void onTaskEnded(const TaskOutcome& outcome);
    void link(const QString& serverName);

    // The running task: only a token, since its pool deletes it; released from the
    // task's own thread as it ends.
    ClientSettings& m_settings;
    UserInteraction& m_user;
    QThreadPool& m_pool;
    VantropeTask* m_task = nullptr;
    TaskHandle m_handle;
    std::shared_ptr<QSemaphore> m_taskDone;
    CastControllerClient* m_link = nullptr;
    bool m_stopRequested = false;
};
