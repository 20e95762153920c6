#pragma once

#include <QString>

class FileUtil {
public:
    // MD5 of the whole file as 32 lower-case hex digits; empty when it cannot be read.
    static QString getFileMd5(const QString& path);
};

inline QString getFileMd5(const QString& path)
{
    return FileUtil::getFileMd5(path);
}
