#pragma once

#include <QObject>

// Short notices for the user ("打开文件成功." ...). Tasks send theirs here; the window
// shows them in its status bar, the command-line client prints them.
class UserNotices : public QObject {
    Q_OBJECT
public:
    static UserNotices* instance();

signals:
    void notify(QString description);
};
