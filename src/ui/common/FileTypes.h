#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

// The icon of a file by the extension of its name (any case); one table for the process.
class FileTypes {
public:
    static FileTypes* instance();

    QIcon icon(const QString& fileName) const;

private:
    FileTypes();

    QHash<QString, QIcon> m_icons;
    QIcon m_unknown;
};
