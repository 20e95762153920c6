#include "settings/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QMutexLocker>
#include <QSettings>
#include <QTemporaryFile>

#include "platform/AppFolders.h"
#include "platform/Autostart.h"
#include "platform/DesktopSession.h"
#include "platform/UserInteraction.h"

const QString Config::RunEntryName = QStringLiteral("QuorvelClientRun");
const QString Config::RunEntryArguments = QStringLiteral("-s");

namespace {
const QString CastPasswordPrefix = QStringLiteral("CastPassword_");
// The file holds cast passwords: its owner alone may read it.
constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QVariant defaultIn(int type, const QString& downloadFolder)
{
    switch (type) {
    case Config::ClientName: return QHostInfo::localHostName();
    case Config::SecureMode: return false;
    case Config::DownloadPath: return downloadFolder;
    case Config::ConfirmCast: return true;
    case Config::LastSelectedServerUUID: return QString();
    case Config::StartUp: return true;
    case Config::CastShortcut: return QStringLiteral("F11");
    default: return QVariant();
    }
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}
} // namespace

Config::Config(const QString& applicationFolder, DesktopSession* session, UserInteraction* user, QObject* parent)
    : Config(AppFolders::inFolder(applicationFolder), session, user, parent)
{
}

Config::Config(const AppFolders& folders, DesktopSession* session, UserInteraction* user, QObject* parent)
    : QObject(parent)
    , m_path(folders.configFile())
    , m_folder(QFileInfo(m_path).absolutePath())
    , m_downloadFolder(folders.defaultDownloadFolder())
    , m_session(session)
{
    // An older copy may have left the file readable by others.
    if (QFile::exists(m_path))
        QFile::setPermissions(m_path, OwnerOnly);
    m_settings = new QSettings(m_path, QSettings::IniFormat);
    if (!m_session)
        return;

    applyStartUp(value(StartUp).toBool());
    connect(
        m_session, &DesktopSession::castShortcutActivated, this, &Config::castShortcutActivated, Qt::UniqueConnection);
    const QString text = value(CastShortcut).toString();
    m_shortcutRegistered = m_session->registerCastShortcut(text, false);
    if (!m_shortcutRegistered) {
        (user ? *user : UserInteraction::fallback())
            .warning(tr("错误"), tr("设置投射快捷键为\"%1\"失败,\n请在设置中换用其它快捷键.").arg(text));
    }
}

Config::~Config()
{
    if (m_session)
        m_session->unregisterCastShortcut();
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
    return defaultIn(type, AppFolders::inFolder(QCoreApplication::applicationDirPath()).defaultDownloadFolder());
}

QVariant Config::defaultFor(int type) const
{
    return defaultIn(type, m_downloadFolder);
}

QVariant Config::value(int type) const
{
    const QString key = keyOf(type);
    if (key.isEmpty())
        return QVariant();
    const QVariant def = defaultFor(type);
    QMutexLocker lock(&m_storeLock);
    const QVariant stored = m_settings->value(key, def);
    // INI values come back as text: give callers the setting's own type.
    if (def.userType() == QMetaType::Bool)
        return stored.toBool();
    return stored.toString();
}

bool Config::unset(int type)
{
    const QString key = keyOf(type);
    if (key.isEmpty()) {
        fail(tr("没有编号为 %1 的设置").arg(type));
        return false;
    }
    const QVariant oldValue = value(type);
    {
        QMutexLocker lock(&m_storeLock);
        if (!m_settings->contains(key))
            return true;
        m_settings->remove(key);
        m_settings->sync();
        if (m_settings->status() != QSettings::NoError) {
            fail(writeFailure());
            return false;
        }
    }
    {
        QMutexLocker lock(&m_errorLock);
        m_lastError.clear();
    }
    emit valueChanged(type, value(type), oldValue);
    return true;
}

bool Config::setValue(int type, const QVariant& newValue)
{
    const QString key = keyOf(type);
    if (key.isEmpty()) {
        fail(tr("没有编号为 %1 的设置").arg(type));
        return false;
    }
    if (type == ClientName && newValue.toString().isEmpty()) {
        fail(tr("ClientName 不能为空"));
        return false;
    }
    if (type == StartUp && m_session && !applyStartUp(newValue.toBool())) {
        fail(tr("无法修改自启动项 %1").arg(Autostart::entryPath(RunEntryName)));
        return false;
    }
    if (type == CastShortcut && m_session) {
        m_shortcutRegistered = m_session->registerCastShortcut(newValue.toString(), true);
        if (!m_shortcutRegistered) {
            fail(tr("无法注册快捷键\"%1\": 它已被其它程序占用").arg(newValue.toString()));
            return false;
        }
    }

    const QVariant oldValue = value(type);
    const QVariant typed
        = defaultFor(type).userType() == QMetaType::Bool ? QVariant(newValue.toBool()) : QVariant(newValue.toString());
    {
        QMutexLocker lock(&m_storeLock);
        if (!store(key, typed))
            return false;
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

QString Config::clientName() const
{
    return value(ClientName).toString();
}

bool Config::secureMode() const
{
    return value(SecureMode).toBool();
}

QString Config::downloadFolder() const
{
    return value(DownloadPath).toString();
}

bool Config::confirmCast() const
{
    return value(ConfirmCast).toBool();
}

QString Config::castPassword(const QString& uuid) const
{
    QMutexLocker lock(&m_storeLock);
    return m_settings->value(CastPasswordPrefix + uuid, QString()).toString();
}

bool Config::setCastPassword(const QString& uuid, const QString& password)
{
    QMutexLocker lock(&m_storeLock);
    return store(CastPasswordPrefix + uuid, password);
}

bool Config::store(const QString& key, const QVariant& value)
{
    // Create the file for its owner alone before anything is written into it.
    if (!QFile::exists(m_path)) {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(OwnerOnly)) {
            const QString reason = file.errorString();
            file.remove();
            fail(tr("无法写入 %1: %2").arg(m_path, lowerFirst(reason)));
            return false;
        }
    }
    const bool had = m_settings->contains(key);
    const QVariant previous = m_settings->value(key);
    m_settings->setValue(key, value);
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError) {
        QFile::setPermissions(m_path, OwnerOnly);
        QMutexLocker lock(&m_errorLock);
        m_lastError.clear();
        return true;
    }
    fail(m_settings->status() == QSettings::FormatError ? tr("无法读取 %1: 它不是设置文件").arg(m_path)
                                                        : writeFailure());
    // Take the change back (the store shares it with every store object of the file),
    // then start afresh: a store object's error sticks.
    if (had)
        m_settings->setValue(key, previous);
    else
        m_settings->remove(key);
    delete m_settings;
    m_settings = new QSettings(m_path, QSettings::IniFormat);
    return false;
}

QString Config::writeFailure() const
{
    // The settings store does not say why; ask the file system the same question.
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite))
        return tr("无法写入 %1: %2").arg(m_path, lowerFirst(file.errorString()));
    file.close();
    QTemporaryFile probe(m_path + QStringLiteral(".XXXXXX"));
    if (!probe.open())
        return tr("无法写入 %1: %2").arg(m_folder, lowerFirst(probe.errorString()));
    return tr("无法写入 %1").arg(m_path);
}

void Config::fail(const QString& reason)
{
    qWarning("[W][%s] %s", "Config", qUtf8Printable(reason));
    QMutexLocker lock(&m_errorLock);
    m_lastError = reason;
}

QString Config::lastError() const
{
    QMutexLocker lock(&m_errorLock);
    return m_lastError;
}

bool Config::setCastShortcutEnabled(bool enabled)
{
    if (m_session)
        m_session->setCastShortcutEnabled(enabled);
    return true;
}

bool Config::isCastShortcutRegistered() const
{
    return m_shortcutRegistered;
}

bool Config::applyStartUp(bool enabled)
{
    const QString program = QCoreApplication::applicationFilePath();
    const bool present = Autostart::has(RunEntryName, program);
    if (enabled && !present)
        return Autostart::add(RunEntryName, program, RunEntryArguments);
    if (!enabled && present)
        return Autostart::remove(RunEntryName);
    return true;
}
