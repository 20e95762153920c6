#include "CustomMsgHandler.h"

#include <QAtomicPointer>
#include <QMutex>
#include <QMutexLocker>

#include "FileLogWriter.h"

namespace {
QMutex g_installLock;
QAtomicPointer<CustomMsgHandler> g_installed;
} // namespace

CustomMsgHandler::CustomMsgHandler(QObject* parent, const QString& logFolder)
    : QObject(parent)
{
    const QString name = QStringLiteral("QuorvelClient");
    m_writer = new FileLogWriter(name, logFolder.isEmpty() ? FileLogWriter::defaultFolder() : logFolder);
}

CustomMsgHandler::~CustomMsgHandler()
{
    uninstall();
    delete m_writer;
}

bool CustomMsgHandler::install()
{
    QMutexLocker lock(&g_installLock);
    if (g_installed.loadAcquire())
        return false;
    g_installed.storeRelease(this);
    qInstallMessageHandler(&CustomMsgHandler::handle);
    return true;
}

bool CustomMsgHandler::uninstall()
{
    QMutexLocker lock(&g_installLock);
    if (g_installed.loadAcquire() != this)
        return false;
    qInstallMessageHandler(nullptr);
    g_installed.storeRelease(nullptr);
    return true;
}

void CustomMsgHandler::handle(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    CustomMsgHandler* handler = g_installed.loadAcquire();
    if (!handler)
        return;
    if (!FileLogWriter::isReportingOwnError())
        emit handler->m_writer->bridge()->onWriteMessage(msg);
    emit handler->message(msg);
}
