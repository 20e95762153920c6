#pragma once

#include <QString>

#include "utils/Md5.h"
#include "utils/RingStage.h"

class BlockRing;

// An MD5 computed on a thread of its own over blocks a transfer hands it in order, so
// that hashing overlaps moving the bytes instead of following it. The blocks are buffers
// of a BlockRing; each is released once hashed, and a transfer that fails drops what is
// still queued.
class BackgroundMd5 {
public:
    explicit BackgroundMd5(BlockRing& ring);

    // Queues the first `size` bytes of a buffer of the ring (0: released unhashed).
    void submit(char* block, qint64 size) { m_stage.submit(block, size, 0); }
    // Waits until every queued block is hashed; 32 lower-case hex digits. The digest
    // starts afresh afterwards.
    QString hexResult();

private:
    Md5 m_md5;
    RingStage m_stage; // last: its thread stops before the digest goes
};
