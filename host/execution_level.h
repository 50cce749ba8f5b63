// The execution rules the driver's callbacks run under.
//
// The packet callback runs at dispatch level: it may not allocate, and paged
// memory may not be touched there. The raw-frame callback and the rest run at
// passive level, where paged pool is allowed. The emulated class library enters
// dispatch level around the packet callback; the pool refuses allocations there
// and records a violation, and in sanitizer builds every outstanding paged block
// is poisoned for the duration so a touch is reported at once.
#pragma once

namespace host {

enum class ExecutionLevel { Passive, Dispatch };

ExecutionLevel CurrentExecutionLevel();

// Raises to dispatch level for its lifetime.
class DispatchLevelScope {
public:
    DispatchLevelScope();
    ~DispatchLevelScope();
    DispatchLevelScope(const DispatchLevelScope&) = delete;
    DispatchLevelScope& operator=(const DispatchLevelScope&) = delete;
};

}  // namespace host
