// The emulated kernel pool: ExAllocatePoolWithTag and ExFreePool on Linux.
//
// Every block is tracked with its pool type and tag, so tests can see what is
// outstanding and report leaks. Faults can be injected: fail the Nth allocation
// from now, or every allocation of one pool type. A trailing canary catches
// writes past a block when it is freed, in builds without sanitizers too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/pool.h"

namespace host {

struct PoolCounts {
    uint64_t allocations = 0;  // successful allocations since the last reset
    uint64_t frees = 0;
    uint64_t failedAllocations = 0;  // refused by fault injection
    uint64_t outstandingBlocks = 0;
    uint64_t outstandingBytes = 0;
};

PoolCounts PoolGetCounts();

// Outstanding blocks of one tag (all pool types).
uint64_t PoolOutstandingBlocksWithTag(ULONG tag);

// Bytes requested for a block that is outstanding; 0 when the pointer is not one.
SIZE_T PoolBlockSize(const void* block);
POOL_TYPE PoolBlockType(const void* block);

// Fail the nth allocation attempt from now (1 = the next one). 0 switches it off.
void PoolFailNthAllocation(uint64_t n);
// Fail every allocation of this pool type until cleared.
void PoolFailPoolType(POOL_TYPE type, bool fail);
void PoolClearFaults();

// Writes one line per outstanding block (tag, type, size) and returns how many there were.
uint64_t PoolReportOutstanding(std::FILE* out);

// Problems the pool detected that are not outstanding blocks: a bad free, a damaged
// canary, an allocation where none is allowed. Empty when all is well.
std::string PoolTakeViolations();
void PoolRecordViolation(const std::string& what);

// Frees every outstanding block and clears counts, faults and violations.
void PoolReset();

}  // namespace host
