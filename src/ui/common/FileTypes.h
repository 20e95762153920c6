#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

// The icon of a file by the extension of its name (any case). The window makes one and
// hands it to its views; copies share the table and the icons' loaded pixmaps.
class FileTypes {
public:
    FileTypes();

    QIcon icon(const QString& fileName) const;

private:
    QHash<QString, QIcon> m_icons;
    QIcon m_unknown;
};
