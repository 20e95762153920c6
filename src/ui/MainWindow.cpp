#include "MainWindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "Config.h"
#include "LogDialog.h"

namespace {
MainWindow* g_mainWindow = nullptr;
const char* const ClientVersion = QUORVEL_VERSION;
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent)
{
    g_mainWindow = this;
    m_logDialog = new LogDialog;
    Config::instance();

    setWindowTitle(QStringLiteral("Quorvel客户端"));
    auto* layout = new QVBoxLayout(this);
    auto* version = new QLabel(tr("版本: %1").arg(QLatin1String(ClientVersion)), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    layout->addWidget(version);
    resize(360, 640);
    qDebug("[I][%s] Client started, version %s.", "MainWindow", ClientVersion);
}

MainWindow::~MainWindow()
{
    delete m_logDialog;
    g_mainWindow = nullptr;
}

MainWindow* MainWindow::instance()
{
    return g_mainWindow;
}

void MainWindow::show()
{
    // Also a request from a later start: bring the window to the front. A minimised
    // window stays minimised.
    QWidget::show();
    activateWindow();
    raise();
    qDebug("[I][%s] Window shown.", "MainWindow");
}
