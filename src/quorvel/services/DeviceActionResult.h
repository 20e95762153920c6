#pragma once

#include <QMetaType>
#include <QString>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskOutcome.h"

// One thing a person asked of a device (show a file on its screen, delete one, set its
// welcome text) and how it ended; front ends show or print it, never log text.
struct DeviceActionResult {
    enum Action { Open, Delete, SetWelcome };

    // The number the request was given when it was made.
    quint64 id = 0;
    Action action = Open;
    ServerContent device;
    // The remote path (open, delete) or the welcome text.
    QString argument;
    // Success, or the reason in the user's language.
    TaskOutcome outcome;

    // The short notice of the window's status bar: "打开文件成功." ...
    QString notice() const;
    // The action's word for scripts: "open", "delete", "welcome".
    static QString word(Action action);
};

Q_DECLARE_METATYPE(DeviceActionResult)
