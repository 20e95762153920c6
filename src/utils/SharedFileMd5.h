#pragma once

#include <QMutex>
#include <QString>
#include <memory>

class BackgroundFileMd5;

// One background digest of a file for every upload that sends it at the same time: the
// same slides to five rooms are hashed once, not five times. Uploads of the same file
// (device, inode, size, modification time) that overlap share it; it holds a descriptor
// of its own, so whichever upload ends first takes nothing from the others.
class SharedFileMd5 {
public:
    // The digest of the first `size` bytes of the file open at the descriptor; null
    // when the file cannot be looked at (the caller hashes on its own then).
    static std::shared_ptr<SharedFileMd5> of(int descriptor, qint64 size);
    ~SharedFileMd5();
    SharedFileMd5(const SharedFileMd5&) = delete;
    SharedFileMd5& operator=(const SharedFileMd5&) = delete;

    // 32 lower-case hex digits, or empty when the file could not be read whole
    // (errorString() says why). The first caller finishes it; the others wait for it.
    QString hexResult();
    QString errorString();

private:
    SharedFileMd5(int ownDescriptor, qint64 size);

    const int m_fd;
    QMutex m_lock;
    std::unique_ptr<BackgroundFileMd5> m_digest;
    bool m_done = false;
    QString m_hex;
    QString m_error;
};
