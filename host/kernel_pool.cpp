#include "host/kernel_pool.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "host/execution_level.h"

#if defined(__SANITIZE_ADDRESS__)
#define PELSK_HAS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELSK_HAS_ASAN 1
#endif
#endif
#ifdef PELSK_HAS_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace host {
namespace {

constexpr size_t kCanaryBytes = 16;
constexpr uint8_t kCanaryByte = 0xC5;
constexpr uint8_t kFreshByte = 0xAB;  // new blocks are not zeroed, as in the kernel

struct BlockInfo {
    SIZE_T size;
    POOL_TYPE type;
    ULONG tag;
};

struct PoolState {
    std::map<const void*, BlockInfo> blocks;
    PoolCounts counts;
    uint64_t failCountdown = 0;
    bool failPaged = false;
    bool failNonPaged = false;
    std::string violations;
    ExecutionLevel level = ExecutionLevel::Passive;
};

PoolState& State()
{
    static PoolState state;
    return state;
}

std::string TagText(ULONG tag)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

const char* TypeName(POOL_TYPE type) { return type == PagedPool ? "PagedPool" : "NonPagedPool"; }

bool CanaryIntact(const void* block, SIZE_T size)
{
    const uint8_t* tail = static_cast<const uint8_t*>(block) + size;
    for (size_t i = 0; i < kCanaryBytes; ++i)
        if (tail[i] != kCanaryByte)
            return false;
    return true;
}

void SetPagedPoison(bool poison)
{
#ifdef PELSK_HAS_ASAN
    for (const auto& [block, info] : State().blocks)
        if (info.type == PagedPool) {
            if (poison)
                ASAN_POISON_MEMORY_REGION(block, info.size);
            else
                ASAN_UNPOISON_MEMORY_REGION(block, info.size);
        }
#else
    (void)poison;
#endif
}

}  // namespace

PoolCounts PoolGetCounts() { return State().counts; }

uint64_t PoolOutstandingBlocksWithTag(ULONG tag)
{
    uint64_t n = 0;
    for (const auto& entry : State().blocks)
        n += entry.second.tag == tag;
    return n;
}

SIZE_T PoolBlockSize(const void* block)
{
    auto it = State().blocks.find(block);
    return it == State().blocks.end() ? 0 : it->second.size;
}

POOL_TYPE PoolBlockType(const void* block)
{
    auto it = State().blocks.find(block);
    return it == State().blocks.end() ? NonPagedPool : it->second.type;
}

void PoolFailNthAllocation(uint64_t n) { State().failCountdown = n; }

void PoolFailPoolType(POOL_TYPE type, bool fail)
{
    (type == PagedPool ? State().failPaged : State().failNonPaged) = fail;
}

void PoolClearFaults()
{
    State().failCountdown = 0;
    State().failPaged = State().failNonPaged = false;
}

uint64_t PoolReportOutstanding(std::FILE* out)
{
    for (const auto& [block, info] : State().blocks)
        std::fprintf(out, "  leaked: %zu bytes of %s, tag \"%s\"\n", static_cast<size_t>(info.size),
                     TypeName(info.type), TagText(info.tag).c_str());
    return State().blocks.size();
}

std::string PoolTakeViolations()
{
    std::string text;
    text.swap(State().violations);
    return text;
}

void PoolRecordViolation(const std::string& what) { State().violations += what + "\n"; }

void PoolReset()
{
    PoolState& state = State();
    for (auto& [block, info] : state.blocks) {
#ifdef PELSK_HAS_ASAN
        ASAN_UNPOISON_MEMORY_REGION(block, info.size);
#endif
        std::free(const_cast<void*>(block));
    }
    state.blocks.clear();
    state.counts = PoolCounts{};
    state.violations.clear();
    PoolClearFaults();
}

ExecutionLevel CurrentExecutionLevel() { return State().level; }

DispatchLevelScope::DispatchLevelScope()
{
    State().level = ExecutionLevel::Dispatch;
    SetPagedPoison(true);
}

DispatchLevelScope::~DispatchLevelScope()
{
    SetPagedPoison(false);
    State().level = ExecutionLevel::Passive;
}

}  // namespace host

using host::State;

extern "C" PVOID ExAllocatePoolWithTag(POOL_TYPE poolType, SIZE_T numberOfBytes, ULONG tag)
{
    auto& state = State();
    if (state.level == host::ExecutionLevel::Dispatch) {
        host::PoolRecordViolation("allocation of " + std::to_string(numberOfBytes) +
                                  " bytes at dispatch level (packet callback)");
        ++state.counts.failedAllocations;
        return nullptr;
    }
    bool fail = (poolType == PagedPool && state.failPaged) || (poolType != PagedPool && state.failNonPaged);
    if (state.failCountdown != 0 && --state.failCountdown == 0)
        fail = true;
    if (fail) {
        ++state.counts.failedAllocations;
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(numberOfBytes + host::kCanaryBytes));
    if (block == nullptr)
        return nullptr;
    std::memset(block, host::kFreshByte, numberOfBytes);
    std::memset(block + numberOfBytes, host::kCanaryByte, host::kCanaryBytes);
    state.blocks[block] = host::BlockInfo{numberOfBytes, poolType, tag};
    ++state.counts.allocations;
    ++state.counts.outstandingBlocks;
    state.counts.outstandingBytes += numberOfBytes;
    return block;
}

extern "C" void ExFreePool(PVOID block)
{
    auto& state = State();
    auto it = state.blocks.find(block);
    if (it == state.blocks.end()) {
        host::PoolRecordViolation("ExFreePool of a pointer that is not an outstanding pool block");
        return;
    }
    if (!host::CanaryIntact(block, it->second.size))
        host::PoolRecordViolation("block of " + std::to_string(it->second.size) + " bytes, tag \"" +
                                  host::TagText(it->second.tag) + "\", was written past its end");
    --state.counts.outstandingBlocks;
    state.counts.outstandingBytes -= it->second.size;
    ++state.counts.frees;
    state.blocks.erase(it);
    std::free(block);
}
