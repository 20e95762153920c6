#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <vector>

// A few fixed buffers that a transfer fills in turn and hands to the stages that use them
// (the digest, the file writer), each on a thread of its own. A buffer comes back once
// every stage has released it, so nothing is copied or allocated per block. Buffers are
// page-aligned, as direct file writes need.
class BlockRing {
public:
    static constexpr qint64 Alignment = 4096;

    // Enough for the digest and the disk each to fall a few blocks behind the stream.
    static constexpr int DefaultBlocks = 8;

    explicit BlockRing(qint64 blockSize, int blocks = DefaultBlocks);
    ~BlockRing();
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    // Bytes from `position` of a stream to the next multiple of the block size: streams
    // cut into such blocks stay aligned after a resumption at an odd offset.
    qint64 toBlockEnd(qint64 position) const { return m_blockSize - position % m_blockSize; }
    // A free buffer of the block size, out until `holders` releases; waits while every
    // buffer is out.
    char* acquire(int holders);
    // `holders` holders let go of the buffer.
    void release(char* block, int holders = 1);

private:
    const qint64 m_blockSize;
    char* m_memory;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::vector<int> m_holders; // per buffer; 0: free
};
