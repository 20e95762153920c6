#include "quorvel/services/DeviceActionResult.h"

#include <QCoreApplication>

QString DeviceActionResult::notice() const
{
    // The texts kept the contexts of the tasks that once said them, and so their translations.
    switch (action) {
    case Open:
        return outcome.ok ? QCoreApplication::translate("FileOpen", "打开文件成功.")
                          : QCoreApplication::translate("FileOpen", "打开文件失败.");
    case Delete:
        return outcome.ok ? QCoreApplication::translate("FileDelete", "删除文件成功.")
                          : QCoreApplication::translate("FileDelete", "删除文件失败.");
    case SetWelcome:
        return outcome.ok ? QCoreApplication::translate("SalutatorySetter", "设置欢迎辞成功.")
                          : QCoreApplication::translate("SalutatorySetter", "设置欢迎辞失败.");
    }
    return QString();
}

QString DeviceActionResult::word(Action action)
{
    switch (action) {
    case Open: return QStringLiteral("open");
    case Delete: return QStringLiteral("delete");
    case SetWelcome: return QStringLiteral("welcome");
    }
    return QString();
}
