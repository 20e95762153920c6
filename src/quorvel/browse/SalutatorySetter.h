#pragma once

#include "quorvel/browse/FileCommand.h"

// Sets the welcome text the device shows.
class SalutatorySetter : public FileCommand {
    Q_OBJECT
public:
    SalutatorySetter(const QString& salutatory, const ServerContent& server);

signals:
    void notify(QString description);

protected:
    void execute() override;
    void finish() override;

private:
    QString m_salutatory;
};
