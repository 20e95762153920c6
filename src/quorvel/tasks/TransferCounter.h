#pragma once

// Transfer numbers: one process-wide counter from 0 that every transfer task draws its
// progress id from. Safe from any thread.
class TransferCounter {
public:
    static int next();
};
