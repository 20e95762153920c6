#include "ui/transfers/ProgressWidget.h"

#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTextLayout>
#include <QUrl>
#include <cmath>

#include "quorvel/services/DeviceActions.h"
#include "ui_ProgressWidget.h"

namespace {
const char* const Tag = "ProgressWidget";

QString sizeText(double bytes)
{
    const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(qint64(bytes))
                     : QStringLiteral("%1 %2").arg(bytes, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString durationText(qint64 seconds)
{
    const QString mmss = QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds >= 3600 ? QStringLiteral("%1:%2").arg(seconds / 3600).arg(mmss.rightJustified(5, QLatin1Char('0')))
                           : mmss;
}

bool openLocal(const QString& path)
{
    return !path.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
} // namespace

ProgressWidget::ProgressWidget(const ServerContent& server, const QString& nativePath, bool isDownload, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::ProgressWidget)
    , m_server(server)
    , m_nativePath(nativePath)
    , m_isDownload(isDownload)
    , m_type(isDownload ? ProgressContent::Download : ProgressContent::Upload)
{
    ui->setupUi(this);
    // Owned by the row, not the menu: the menu drops them after a failure.
    m_openNative = new QAction(tr("在本地打开"), this);
    m_openDir = new QAction(tr("打开所在目录"), this);
    m_deleteRemote = new QAction(tr("在Quorvel上删除"), this);
    m_openRemote = new QAction(tr("在Quorvel上打开"), this);
    connect(m_openNative, &QAction::triggered, this, &ProgressWidget::openFileAtNative);
    connect(m_openDir, &QAction::triggered, this, &ProgressWidget::openDirTriggered);
    connect(m_deleteRemote, &QAction::triggered, this, &ProgressWidget::deleteFileAtServer);
    connect(m_openRemote, &QAction::triggered, this, &ProgressWidget::openActionTriggered);
    connect(ui->btnClose, &QPushButton::clicked, this, &ProgressWidget::close);
    // The text keeps its place whether or not the close button shows.
    QSizePolicy keep = ui->btnClose->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    ui->btnClose->setSizePolicy(keep);
    setAttribute(Qt::WA_StyledBackground);
}

ProgressWidget::~ProgressWidget()
{
    delete ui;
}

void ProgressWidget::setPaths(const QString& nativePath, const QString& remotePath)
{
    m_nativePath = nativePath;
    m_remotePath = remotePath;
}

void ProgressWidget::setId(int id)
{
    m_id = id;
}

void ProgressWidget::setDateModified(qint64 dateModified)
{
    m_dateModified = dateModified;
}

void ProgressWidget::setProgress(int minimum, int maximum, int value)
{
    if (ui->progressBar->minimum() != minimum)
        ui->progressBar->setMinimum(minimum);
    if (ui->progressBar->maximum() != maximum)
        ui->progressBar->setMaximum(maximum);
    if (ui->progressBar->value() != value)
        ui->progressBar->setValue(value);
    setAccessibleDescription(stateText());
}

QStringList ProgressWidget::wrapped(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(width, 1));
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

int ProgressWidget::textWidth(int rowWidth) const
{
    const QMargins m = layout()->contentsMargins();
    const int spacing = layout()->spacing();
    return rowWidth - m.left() - m.right() - ui->progressBar->maximumWidth() - ui->btnClose->maximumWidth()
        - 2 * spacing;
}

QString ProgressWidget::shownText(int width) const
{
    // A long file name is shortened in its middle to about two lines, so that the outcome
    // and a failure's reason stay in view; the whole text is the row's accessible name.
    const int open = m_text.indexOf(QLatin1Char('"'));
    int close = m_text.indexOf(tr("\"失败. 原因: "));
    if (close < 0)
        close = m_text.lastIndexOf(QLatin1Char('"'));
    if (open < 0 || close <= open)
        return m_text;
    const QFontMetrics metrics(ui->label->font());
    const QString name = m_text.mid(open + 1, close - open - 1);
    const int room
        = 2 * width - metrics.horizontalAdvance(m_text.left(open + 1)) - metrics.horizontalAdvance(tr("\"成功."));
    if (room <= 0 || metrics.horizontalAdvance(name) <= room)
        return m_text;
    return m_text.left(open + 1) + metrics.elidedText(name, Qt::ElideMiddle, room) + m_text.mid(close);
}

int ProgressWidget::heightForWidth(int width) const
{
    const QMargins m = layout()->contentsMargins();
    const int lines = wrapped(shownText(textWidth(width)), ui->label->font(), textWidth(width)).size();
    const int text = lines * QFontMetrics(ui->label->font()).lineSpacing();
    return qMax(ui->progressBar->maximumHeight(), text) + m.top() + m.bottom() + 2;
}

void ProgressWidget::rewrap()
{
    const int width = textWidth(this->width());
    ui->label->setText(wrapped(shownText(width), ui->label->font(), width).join(QLatin1Char('\n')));
}

void ProgressWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rewrap();
}

void ProgressWidget::setText(const QString& text)
{
    m_text = text;
    rewrap();
    setAccessibleName(text);
    setAccessibleDescription(stateText());
}

QString ProgressWidget::text() const
{
    return ui->label->text();
}

void ProgressWidget::setFailed(bool failed)
{
    ui->progressBar->setFailed(failed);
    m_reason = failed ? toolTip() : QString();
    setAccessibleDescription(stateText());
}

QString ProgressWidget::stateText() const
{
    const int percent = qMax(ui->progressBar->value(), 0);
    if (ui->progressBar->isFailed())
        return tr("失败，停在 %1%。原因: %2").arg(percent).arg(m_reason);
    if (percent >= ui->progressBar->maximum())
        return tr("已完成 %1%").arg(percent);
    QString text = tr("正在传输 %1%").arg(percent);
    if (!m_rate.isEmpty())
        text += QLatin1Char('\n') + m_rate;
    return text;
}

void ProgressWidget::setCloseVisible(bool visible)
{
    ui->btnClose->setVisible(visible);
    if (visible) {
        const QString name = m_text.section(QLatin1Char('"'), 1, 1);
        ui->btnClose->setAccessibleName(name.isEmpty() ? tr("关闭") : tr("关闭 %1").arg(name));
    }
}

bool ProgressWidget::isCloseVisible() const
{
    return !ui->btnClose->isHidden();
}

bool ProgressWidget::closeRow()
{
    if (ui->btnClose->isHidden())
        return false;
    close();
    return true;
}

void ProgressWidget::setRedo()
{
    if (!m_redo) {
        m_redo = new QAction(tr("重新下载/上传"), this);
        connect(m_redo, &QAction::triggered, this, &ProgressWidget::redoActionTriggered);
    }
}

QString ProgressWidget::rateText(qint64 bytes, qint64 totalBytes, double speed)
{
    QString moved = totalBytes < 0 ? tr("已传输 %1").arg(sizeText(bytes))
                                   : tr("已传输 %1 / %2").arg(sizeText(bytes), sizeText(totalBytes));
    if (speed < 0)
        return moved + QLatin1Char('\n') + tr("速度计算中");
    moved += QLatin1Char('\n') + tr("速度 %1/s").arg(sizeText(speed));
    if (totalBytes < 0 || speed <= 0)
        return moved;
    const qint64 left = qint64(std::ceil(std::max<qint64>(totalBytes - bytes, 0) / speed));
    return moved + QLatin1Char('\n') + tr("剩余时间 %1").arg(durationText(left));
}

void ProgressWidget::setRate(qint64 bytes, qint64 totalBytes, double speed)
{
    m_rate = rateText(bytes, totalBytes, speed);
    setToolTip(m_rate);
    setAccessibleDescription(stateText());
}

void ProgressWidget::popupMenu(const QPoint& globalPos)
{
    // Made on first use: a thousand rows would otherwise polish a thousand menus nobody
    // opens.
    if (!m_menu)
        m_menu = new QMenu(this);
    m_menu->clear();
    if (m_redo)
        m_menu->addAction(m_redo);
    else
        m_menu->addActions({m_openNative, m_openDir, m_deleteRemote, m_openRemote});
    m_menu->popup(globalPos);
}

void ProgressWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        popupMenu(event->globalPos());
    QWidget::mouseReleaseEvent(event);
}

void ProgressWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_isDownload)
        openFileAtNative();
    else
        openActionTriggered();
}

void ProgressWidget::tellFailure(const QString& what)
{
    // Over the window, in the window's own look: not a child of the panel's styled rows.
    auto* box = new QMessageBox(QMessageBox::Warning, tr("提示"), what, QMessageBox::Ok, window());
    box->setInformativeText(tr("没有可以打开它的程序，或者它已不存在：%1").arg(m_nativePath));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ProgressWidget::openFileAtNative()
{
    if (!openLocal(m_nativePath)) {
        qCritical("[E][%s] Open file at local fail.", Tag);
        tellFailure(tr("无法在本地打开文件。"));
    }
}

void ProgressWidget::deleteFileAtServer()
{
    if (m_actions)
        m_actions->remove(m_server, m_remotePath);
}

void ProgressWidget::openDirTriggered()
{
    const int slash = m_nativePath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || !openLocal(m_nativePath.left(qMax(slash, 1)))) {
        qCritical("[E][%s] Open folder of %s fail.", Tag, qUtf8Printable(m_nativePath));
        tellFailure(tr("无法打开所在目录。"));
    }
}

void ProgressWidget::openActionTriggered()
{
    if (m_actions)
        m_actions->open(m_server, m_remotePath);
}

void ProgressWidget::redoActionTriggered()
{
    ProgressContent failed;
    failed.type = m_type;
    failed.id = m_id;
    failed.server = m_server;
    failed.nativePath = m_nativePath;
    failed.remotePath = m_remotePath;
    failed.dateModified = m_dateModified;
    emit retryRequested(failed);
}

void ProgressWidget::close()
{
    emit destroyed(m_id);
    deleteLater();
}
