#include "ui/cast/CastControllerWidget.h"

#include <QGuiApplication>
#include <QScreen>

#include "cast/CastSession.h"
#include "settings/Config.h"
#include "ui/common/TaskbarProgress.h"
#include "ui/common/WarningBox.h"
#include "ui_CastControllerWidget.h"

namespace {
const QString CastFeature = QStringLiteral("Vantrope");
}

CastControllerWidget::CastControllerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::CastControllerWidget>())
    , m_taskbarProgress(new TaskbarProgress(this))
{
    ui->setupUi(this);
    connect(ui->startButton, &QPushButton::clicked, this, &CastControllerWidget::onStartButtonClicked,
        Qt::UniqueConnection);
    connect(
        ui->stopButton, &QPushButton::clicked, this, &CastControllerWidget::onStopButtonClicked, Qt::UniqueConnection);
    connect(ui->pauseButton, &QPushButton::clicked, this, &CastControllerWidget::onPauseButtonClicked,
        Qt::UniqueConnection);
    connect(ui->resumeButton, &QPushButton::clicked, this, &CastControllerWidget::onResumeButtonClicked,
        Qt::UniqueConnection);
    connect(ui->changeAspectRatioButton, &QPushButton::clicked, this,
        &CastControllerWidget::onChangeAspectRatioButtonClicked, Qt::UniqueConnection);

    setServerContent(nullptr);
}

CastControllerWidget::~CastControllerWidget() = default;

void CastControllerWidget::attach(CastSession* session, Config* config)
{
    Q_ASSERT(!m_session);
    m_session = session;
    connect(m_session, &CastSession::started, this, &CastControllerWidget::onVantropeTaskBegin);
    connect(m_session, &CastSession::programConnected, this, &CastControllerWidget::onCastServerConnected);
    connect(m_session, &CastSession::casting, this, &CastControllerWidget::onCastConnected);
    connect(m_session, &CastSession::disconnected, this, &CastControllerWidget::onCastDisconnected);
    connect(m_session, &CastSession::paused, this, &CastControllerWidget::onCastPaused);
    connect(m_session, &CastSession::resumed, this, &CastControllerWidget::onCastResumed);
    connect(m_session, &CastSession::ended, this, &CastControllerWidget::onVantropeTaskEnd);
    connect(config, &Config::castShortcutActivated, this, &CastControllerWidget::onCastShortcutActivated);
    if (!m_castingDevice)
        showIdlePage(); // the page that says whether a cast can start now
}

void CastControllerWidget::setServerContent(ServerContent* device)
{
    m_currentDevice.reset();
    if (device)
        m_currentDevice = *device;
    if (!m_castingDevice)
        showIdlePage();
}

void CastControllerWidget::showIdlePage()
{
    m_taskbarProgress->hide();
    bool supported = false;
    if (m_currentDevice)
        m_currentDevice->supportPort(CastFeature, &supported);
    // Without a session (no application context) nothing can be cast.
    if (!supported || !m_session) {
        ui->stackedWidget->setCurrentWidget(ui->notSurrpotWidget);
        return;
    }
    ui->startButton->setEnabled(true);
    ui->stackedWidget->setCurrentWidget(ui->notCastWidget);
}

void CastControllerWidget::onStartButtonClicked()
{
    if (m_castingDevice || !m_currentDevice || !m_session)
        return;
    ui->startButton->setEnabled(false);
    // Busy from here: a selection change before the negotiation reports its start must
    // not offer a second start.
    m_castingDevice = m_currentDevice;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // A start refused at once reports its end (and the reason) from inside start().
    m_session->start(*m_castingDevice, screen.size());
}

void CastControllerWidget::onStopButtonClicked()
{
    if (m_session)
        m_session->stop();
}

void CastControllerWidget::onPauseButtonClicked()
{
    if (m_session)
        m_session->pause();
}

void CastControllerWidget::onResumeButtonClicked()
{
    if (m_session)
        m_session->resume();
}

void CastControllerWidget::onChangeAspectRatioButtonClicked()
{
    if (m_session)
        m_session->changeAspectRatio();
}

void CastControllerWidget::onVantropeTaskBegin()
{
    if (!m_castingDevice)
        return;
    ui->stackedWidget->setCurrentWidget(ui->pendingCastWidget);
    m_taskbarProgress->stop();
    m_taskbarProgress->show();
}

void CastControllerWidget::onCastServerConnected()
{
    ui->stackedWidget->setCurrentWidget(ui->castingWidget);
    ui->castingStatusWidget->setCurrentWidget(ui->castingStatusPendingWidget);
}

void CastControllerWidget::onCastConnected()
{
    ui->castingStatusWidget->setCurrentWidget(ui->castingStatusPlayingWidget);
    m_taskbarProgress->resume();
}

void CastControllerWidget::onCastPaused()
{
    ui->castingStatusWidget->setCurrentWidget(ui->castingStatusPausingWidget);
    m_taskbarProgress->pause();
}

void CastControllerWidget::onCastResumed()
{
    ui->castingStatusWidget->setCurrentWidget(ui->castingStatusPlayingWidget);
    m_taskbarProgress->resume();
}

void CastControllerWidget::onCastDisconnected()
{
    ui->stackedWidget->setCurrentWidget(ui->castDisconnectedWidget);
    m_taskbarProgress->stop();
}

void CastControllerWidget::onVantropeTaskEnd(const TaskOutcome& outcome)
{
    m_castingDevice.reset();
    // Back to the page of the device selected now, which may not be the one cast to.
    showIdlePage();
    // A question the user declined ends the cast in silence.
    if (!outcome.ok && !outcome.stopped)
        WarningBox::show(this, outcome.text());
}

void CastControllerWidget::onCastShortcutActivated()
{
    QWidget* page = ui->stackedWidget->currentWidget();
    if (page == ui->notCastWidget && ui->startButton->isEnabled())
        ui->startButton->click();
    else if (page == ui->castingWidget && ui->stopButton->isEnabled())
        ui->stopButton->click();
}
