#pragma once

#include "FileCommand.h"

// Sets the welcome text the device shows.
class SalutatorySetter : public FileCommand {
    Q_OBJECT
public:
    SalutatorySetter(const QString& salutatory, const ServerContent& server, QObject* parent = nullptr);
    ~SalutatorySetter() override;
    void run() override;

signals:
    void notify(QString description);

private:
    QString m_salutatory;
};
