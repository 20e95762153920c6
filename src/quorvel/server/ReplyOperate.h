#pragma once

#include <QHostAddress>
#include <QObject>
#include <QRunnable>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "json/QtJson.h"

// One request that a device or another client sent to this client's operation port:
// fetch an offered file, ask how a transfer ended, or push a file to the user.
class ReplyOperate : public QObject, public QRunnable {
    Q_OBJECT
public:
    ReplyOperate(const QByteArray& data, const QHostAddress& sender, quint16 senderPort, QObject* parent = nullptr);
    void run() override;

    void replyFileDownload(const QtJson::JsonObject& request);
    void replyResultQuery(const QtJson::JsonObject& request);

    // One object that carries every request's outcomes to whoever runs the core (the
    // window, or the command-line client's serve): pushed-file questions, and the
    // progress and history of files served.
    static ReplyOperate* relay();

signals:
    void isDownloadFile(QString filePath, ServerContent server, quint16 port);
    void servingProgress(ProgressContent content);
    // A file served whole (on the serving thread): the history keeps it.
    void served(RecentFilesContent record);
    void updateRecentFileList();
    // A status query was answered: ok when the party holds exactly what was sent.
    void resultQueried(uint session, bool ok);

private:
    ReplyOperate() = default;
    void onPushedFile(const QtJson::JsonObject& request);
    void send(const QtJson::JsonObject& reply, const char* serializeFail, const char* sendFail);

    QByteArray m_data;
    QHostAddress m_sender;
    quint16 m_senderPort = 0;
};
