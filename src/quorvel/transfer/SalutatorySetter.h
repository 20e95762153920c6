#pragma once

#include "quorvel/transfer/FileCommand.h"

// Sets the welcome text the device shows.
class SalutatorySetter : public FileCommand {
    Q_OBJECT
public:
    SalutatorySetter(const QString& salutatory, const ServerContent& server);

protected:
    void execute() override;

private:
    QString m_salutatory;
};
