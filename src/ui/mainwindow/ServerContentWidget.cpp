#include "ui/mainwindow/ServerContentWidget.h"

#include <QDragEnterEvent>
#include <QMimeData>

#include "ui_ServerContentWidget.h"

namespace {
QStringList localPaths(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}
} // namespace

ServerContentWidget::ServerContentWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::ServerContentWidget)
{
    ui->setupUi(this);
    setAcceptDrops(true);
    // Reached with Tab; Enter opens the device's files as a double click does.
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setServer(ServerContent());
}

ServerContentWidget::~ServerContentWidget()
{
    delete ui;
}

void ServerContentWidget::setServer(const ServerContent& server)
{
    m_server = server;
    const bool empty = server.address.isNull() && server.uuid.isEmpty();
    ui->labelCaption->setText(empty                  ? QString()
            : server.type == QLatin1String("client") ? tr("客户端")
                                                     : tr("Quorvel服务器"));
    ui->labelName->setText(server.name);
    setToolTip(empty
            ? QString()
            : QStringLiteral("NAME:\t%1\nUUID:\t%2\nIP:\t%3").arg(server.name, server.uuid, server.address.toString()));
    setAccessibleName(empty ? tr("设备") : ui->labelCaption->text() + QLatin1Char(' ') + server.name);
}

void ServerContentWidget::setHighlighted(bool on)
{
    setBackgroundRole(on ? QPalette::Highlight : QPalette::Window);
}

void ServerContentWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (localPaths(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    setHighlighted(true);
}

void ServerContentWidget::dragLeaveEvent(QDragLeaveEvent* event)
{
    setHighlighted(false);
    QWidget::dragLeaveEvent(event);
}

void ServerContentWidget::dropEvent(QDropEvent* event)
{
    setHighlighted(false);
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    emit filePathDroped(paths);
}

void ServerContentWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton && m_server.type != QLatin1String("client"))
        emit fileList(m_server);
}

void ServerContentWidget::keyPressEvent(QKeyEvent* event)
{
    const bool open = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (open && !m_server.uuid.isEmpty() && m_server.type != QLatin1String("client")) {
        emit fileList(m_server);
        return;
    }
    QWidget::keyPressEvent(event);
}
