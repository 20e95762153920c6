#pragma once

#include <QMetaType>
#include <QString>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskOutcome.h"

// The state of one transfer as the progress panel sees it.
class ProgressContent {
public:
    enum Type { Upload = 0, Download = 1, SecureUpload = 2 };
    // progress: 0..100 percent moved, Done when confirmed, Failed on failure (then
    // text says why).
    enum { Done = 101, Failed = -1 };
    bool isFinal() const { return progress == Done || progress == Failed; }
    // The last report of a transfer that ended so: done, or failed with the reason.
    ProgressContent ended(const TaskOutcome& outcome) const
    {
        ProgressContent last = *this;
        last.progress = outcome.ok ? Done : Failed;
        if (!outcome.ok)
            last.text = outcome.text();
        return last;
    }

    int type = Upload;
    int id = 0;
    ServerContent server;
    QString nativePath;
    QString remotePath;
    int progress = 0;
    QString text;
    qint64 dateModified = 0;
    // Bytes moved and the file's size (-1 when not known yet).
    qint64 bytes = 0;
    qint64 totalBytes = -1;
    // Bytes per second, -1 while too early to tell.
    double speed = -1;
};

Q_DECLARE_METATYPE(ProgressContent)
