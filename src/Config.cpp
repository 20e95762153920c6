#include "Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostInfo>
#include <QKeySequence>
#include <QMutexLocker>
#include <QSettings>

#include "UserInteraction.h"
#include "utils/QxtGlobalShortcut.h"
#include "utils/WinUtils.h"

const QString Config::RunEntryName = QStringLiteral("QuorvelClientRun");
const QString Config::RunEntryArguments = QStringLiteral("-s");

namespace {
QMutex g_instanceMutex;
Config* g_instance = nullptr;
bool g_sessionIntegration = false;
const QString CastPasswordPrefix = QStringLiteral("CastPassword_");
} // namespace

Config* Config::instance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = new Config();
    return g_instance;
}

void Config::setSessionIntegration(bool enabled)
{
    QMutexLocker lock(&g_instanceMutex);
    g_sessionIntegration = enabled;
}

bool Config::sessionIntegration()
{
    QMutexLocker lock(&g_instanceMutex);
    return g_sessionIntegration;
}

void Config::resetForTests()
{
    QMutexLocker lock(&g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

Config::Config()
{
    m_settings = new QSettings(QStringLiteral("config.ini"), QSettings::IniFormat);
    m_sessionIntegration = g_sessionIntegration; // instance() holds the mutex here
    if (!m_sessionIntegration)
        return;

    applyStartUp(value(StartUp).toBool());

    m_shortcut = new QxtGlobalShortcut(this);
    connect(m_shortcut, &QxtGlobalShortcut::activated, this, &Config::castShortcutActivated, Qt::UniqueConnection);
    const QString text = value(CastShortcut).toString();
    if (!registerShortcut(text, false)) {
        UserInteraction::current()->warning(
            tr("错误"), tr("设置投射快捷键为\"%1\"失败,\n请在设置中换用其它快捷键.").arg(text));
    }
}

Config::~Config()
{
    delete m_settings;
}

QString Config::keyOf(int type)
{
    switch (type) {
    case ClientName: return QStringLiteral("ClientName");
    case SecureMode: return QStringLiteral("SecureMode");
    case DownloadPath: return QStringLiteral("DownloadPath");
    case ConfirmCast: return QStringLiteral("ConfirmCast");
    case LastSelectedServerUUID: return QStringLiteral("LastSelectedServerUUID");
    case StartUp: return QStringLiteral("StartUp");
    case CastShortcut: return QStringLiteral("CastShortcut");
    default: return QString();
    }
}

QVariant Config::defaultOf(int type)
{
    switch (type) {
    case ClientName: return QHostInfo::localHostName();
    case SecureMode: return false;
    case DownloadPath: return QString(QDir::currentPath() + QStringLiteral("/Download/"));
    case ConfirmCast: return true;
    case LastSelectedServerUUID: return QString();
    case StartUp: return true;
    case CastShortcut: return QStringLiteral("F11");
    default: return QVariant();
    }
}

QVariant Config::value(int type) const
{
    const QString key = keyOf(type);
    if (key.isEmpty())
        return QVariant();
    QMutexLocker lock(&m_storeLock);
    const QVariant stored = m_settings->value(key, defaultOf(type));
    // INI values come back as text: give callers the setting's own type.
    const QVariant def = defaultOf(type);
    if (def.userType() == QMetaType::Bool)
        return stored.toBool();
    return stored.toString();
}

bool Config::setValue(int type, const QVariant& newValue)
{
    if (type == StartUp && m_sessionIntegration && !applyStartUp(newValue.toBool()))
        return false;
    if (type == CastShortcut && m_sessionIntegration && !registerShortcut(newValue.toString(), true))
        return false;
    if (type == ClientName && newValue.toString().isEmpty())
        return false;
    const QString key = keyOf(type);
    if (key.isEmpty())
        return false;

    const QVariant oldValue = value(type);
    const QVariant def = defaultOf(type);
    const QVariant typed
        = def.userType() == QMetaType::Bool ? QVariant(newValue.toBool()) : QVariant(newValue.toString());
    {
        QMutexLocker lock(&m_storeLock);
        m_settings->setValue(key, typed);
    }
    if (oldValue != typed)
        emit valueChanged(type, typed, oldValue);
    return true;
}

bool Config::contains(int type) const
{
    const QString key = keyOf(type);
    if (key.isEmpty())
        return false;
    QMutexLocker lock(&m_storeLock);
    return m_settings->contains(key);
}

QString Config::castPassword(const QString& uuid) const
{
    QMutexLocker lock(&m_storeLock);
    return m_settings->value(CastPasswordPrefix + uuid, QString()).toString();
}

bool Config::setCastPassword(const QString& uuid, const QString& password)
{
    QMutexLocker lock(&m_storeLock);
    m_settings->setValue(CastPasswordPrefix + uuid, password);
    return true;
}

bool Config::setCastShortcutEnabled(bool enabled)
{
    if (m_shortcut)
        m_shortcut->setEnabled(enabled);
    return true;
}

bool Config::isCastShortcutRegistered() const
{
    return m_shortcutRegistered;
}

bool Config::applyStartUp(bool enabled)
{
    const QString program = QCoreApplication::applicationFilePath();
    const bool present = WinUtils::hasRunEntry(RunEntryName, program);
    if (enabled && !present)
        return WinUtils::addRunEntry(RunEntryName, program, RunEntryArguments);
    if (!enabled && present)
        return WinUtils::removeRunEntry(RunEntryName);
    return true;
}

bool Config::registerShortcut(const QString& text, bool portableFormat)
{
    if (!m_shortcut)
        return false;
    const QKeySequence sequence(text, portableFormat ? QKeySequence::PortableText : QKeySequence::NativeText);
    m_shortcutRegistered = m_shortcut->setShortcut(sequence);
    return m_shortcutRegistered;
}
