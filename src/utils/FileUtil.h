#pragma once

#include <QString>

class FileUtil {
public:
    // MD5 of the whole file as 32 lower-case hex digits; empty when it cannot be read.
    static QString getFileMd5(const QString& path);
    // Up to `size` bytes of an open file from `offset` (pread: the descriptor's offset
    // stays). > 0: bytes read; -1 when the read fails or the file ends first, with the
    // reason in `error`.
    static qint64 readAt(int descriptor, char* data, qint64 size, qint64 offset, QString* error);
    // The reason given when a file is shorter than the size it was announced with.
    static QString endedEarly() { return QStringLiteral("The file ended before the announced size"); }
};

inline QString getFileMd5(const QString& path)
{
    return FileUtil::getFileMd5(path);
}
