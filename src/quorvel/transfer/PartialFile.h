#pragma once

#include <QFile>
#include <QString>

// A download's bytes until they are confirmed: NAME.part, with NAME.part.owner beside it
// naming whose bytes they are (the party, the remote path, the announced size and the
// modification time). A part whose owner record does not name this very download was
// not written by it: it is never read, renamed or removed.
class PartialFile {
public:
    struct Owner {
        QString party; // the serving party's address
        QString remotePath;
        qint64 size = -1;
        qint64 modified = 0;
        bool operator==(const Owner& o) const
        {
            return party == o.party && remotePath == o.remotePath && size == o.size && modified == o.modified;
        }
    };

    // NAME.part; a name near the file system's 255 bytes is cut so that the suffix fits.
    static QString partPathOf(const QString& localPath);
    static QString ownerPathOf(const QString& localPath);
    // The owner recorded for the part of localPath; false without a readable record.
    static bool readOwner(const QString& localPath, Owner* owner);
    // Whether a download of remotePath from party may use the part of localPath: there is
    // none (nor a record), or its record names this party and path.
    static bool usableBy(const QString& localPath, const QString& party, const QString& remotePath);

    PartialFile(const QString& localPath, const Owner& owner);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Opens the part for writing, unbuffered and never through a symbolic link: creates
    // it with its owner record, or takes up the one this download left (all four match;
    // one of its own for another size or time starts again from nothing). False, with
    // the reason, when the part belongs to someone else or cannot be made.
    bool open(QString* reason);
    QFile& file() { return m_file; }
    // The bytes the part held when opened (what a resumption starts from).
    qint64 held() const { return m_held; }
    QString partPath() const { return partPathOf(m_localPath); }
    // Moves the confirmed bytes to the final name (replacing a plain file there only when
    // replace is set; otherwise the next free "NAME (n).ext") and removes the record.
    // The final path, or empty with the reason.
    QString land(bool replace, QString* reason);
    // Removes the part and its record: only ever ones this object opened.
    void discard();

private:
    bool writeOwner(QString* reason);

    QString m_localPath;
    Owner m_owner;
    QFile m_file;
    qint64 m_held = 0;
    bool m_opened = false;
};
