#include "settings/ConfigCheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include "settings/Config.h"

bool ConfigCheck::parseBool(const QString& text, bool* value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes") || t == QLatin1String("on"))
        *value = true;
    else if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("no")
        || t == QLatin1String("off"))
        *value = false;
    else
        return false;
    return true;
}

QString ConfigCheck::problem(int type, const QVariant& value)
{
    const QString text = value.toString();
    switch (type) {
    case Config::SecureMode:
    case Config::ConfirmCast:
    case Config::StartUp: {
        bool b = false;
        if (value.userType() != QMetaType::Bool && !parseBool(text, &b))
            return QCoreApplication::translate("ConfigCheck", "%1 的值应为 true 或 false (1/0, yes/no), 而不是\"%2\"")
                .arg(Config::keyOf(type), text);
        return QString();
    }
    case Config::ClientName:
        if (text.trimmed().isEmpty())
            return QCoreApplication::translate("ConfigCheck", "ClientName 不能为空");
        return QString();
    case Config::DownloadPath: {
        const QFileInfo folder(text);
        if (!text.isEmpty() && folder.exists() && !folder.isDir())
            return QCoreApplication::translate("ConfigCheck", "下载目录\"%1\"是一个文件, 不是文件夹").arg(text);
        if (text.isEmpty() || !folder.isDir())
            return QCoreApplication::translate("ConfigCheck", "下载目录\"%1\"不存在").arg(text);
        // Permission bits do not tell everything (read-only mounts, ACLs): try it.
        QTemporaryFile probe(folder.absoluteFilePath() + QStringLiteral("/.quorvel-XXXXXX"));
        if (!probe.open())
            return QCoreApplication::translate("ConfigCheck", "下载目录\"%1\"不可写入").arg(text);
        return QString();
    }
    case Config::CastShortcut: {
        if (!isKeyCombination(text))
            return QCoreApplication::translate("ConfigCheck", "\"%1\"不是按键组合 (例如 F11, Ctrl+Alt+C)").arg(text);
        return QString();
    }
    case Config::LastSelectedServerUUID: return QString();
    default: return QCoreApplication::translate("ConfigCheck", "没有编号为 %1 的设置").arg(type);
    }
}

bool ConfigCheck::isKeyCombination(const QString& text)
{
    // Read here, not by the key-sequence class of the GUI library, which headless programs
    // do not load: modifiers, then one key, in the portable text format.
    static const QRegularExpression combination(
        QStringLiteral("^(?:(?:Ctrl|Alt|Shift|Meta)\\+)*"
                       "(?:F(?:[1-9]|[12][0-9]|3[0-5])|Esc|Tab|Backtab|Backspace|Return|Enter|Ins|Del|Pause|Print|"
                       "SysReq|Home|End|Left|Up|Right|Down|PgUp|PgDown|CapsLock|NumLock|ScrollLock|Menu|Help|"
                       "Space|[!-~])$"),
        QRegularExpression::CaseInsensitiveOption);
    return combination.match(text).hasMatch();
}

QVariant ConfigCheck::fromText(int type, const QString& text, QString* reason)
{
    *reason = problem(type, text);
    if (!reason->isEmpty())
        return QVariant();
    bool b = false;
    if (Config::defaultOf(type).userType() == QMetaType::Bool && parseBool(text, &b))
        return b;
    return text;
}

QString ConfigCheck::describe(int type)
{
    switch (type) {
    case Config::ClientName: return QCoreApplication::translate("ConfigCheck", "其他方看到的本客户端名称 (不能为空)");
    case Config::SecureMode: return QCoreApplication::translate("ConfigCheck", "上传到设备的保密区 (true/false)");
    case Config::DownloadPath:
        return QCoreApplication::translate("ConfigCheck", "下载和接收的文件存放的位置 (一个已存在, 可写的文件夹)");
    case Config::ConfirmCast: return QCoreApplication::translate("ConfigCheck", "投射到设备之前先询问 (true/false)");
    case Config::LastSelectedServerUUID:
        return QCoreApplication::translate("ConfigCheck", "窗口最后选中的设备 (一个 uuid)");
    case Config::StartUp: return QCoreApplication::translate("ConfigCheck", "随桌面会话启动窗口程序 (true/false)");
    case Config::CastShortcut: return QCoreApplication::translate("ConfigCheck", "开始或停止投射的组合键 (例如 F11)");
    default: return QString();
    }
}
