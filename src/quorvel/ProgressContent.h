#pragma once

#include <QMetaType>
#include <QString>

#include "ServerContent.h"

// The state of one transfer as the progress panel sees it.
class ProgressContent {
public:
    enum Type { Upload = 0, Download = 1, SecureUpload = 2 };
    // progress: 0..100 percent moved, Done when confirmed, Failed on failure.
    enum { Done = 101, Failed = -1 };

    int type = Upload;
    int id = 0;
    ServerContent server;
    QString nativePath;
    QString remotePath;
    int progress = 0;
    QString text;
    qint64 dateModified = 0;
};

Q_DECLARE_METATYPE(ProgressContent)
