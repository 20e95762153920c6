#pragma once

#include <QByteArray>
#include <QObject>

// Carries command bytes from the caller's thread into the link's thread.
class SendDataBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void dataSended(QByteArray data);
};
