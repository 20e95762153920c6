#pragma once

#include <QFileInfo>
#include <QString>
#include <QVariantList>

// The device's storage: the served folder and the confidential area. Every device path
// is resolved here, and nothing outside these two folders is ever reached.
class DeviceFileStore {
public:
    static const QString SecurePrefix; // "secure:/"

    bool setUp(const QString& folder, const QString& secureFolder, QString* error);
    QString root() const { return m_root; }
    QString secureRoot() const { return m_secure; }

    // A device path ("" root, "/Pictures", "Pictures/a.png", "secure:/a.pdf") to a local
    // path inside the store; empty with a reason when it leaves the store or is malformed.
    QString resolve(const QString& devicePath, QString* reason) const;
    // A path in the confidential area, as "file_open" names it (without the prefix).
    QString resolveSecure(const QString& relative, QString* reason) const;

    // Entries of a folder as "file_list" objects, in the given order; false with a reason.
    bool list(const QString& devicePath, const QString& sort, QVariantList* entries, QString* reason) const;

    // Where an upload of this name lands; empty with a reason for a name that is no name.
    QString uploadTarget(const QString& fileName, bool secure, QString* reason) const;
    QString receiveTarget(const QString& fileName, QString* reason) const;

    static bool isSafeName(const QString& name);
    static void writeSamples(const QString& folder);

private:
    QString within(const QString& base, const QString& relative, QString* reason) const;

    QString m_root;
    QString m_secure;
};
