#include "core/workingmemory.h"

namespace {

// The allocator keeps its working memory, as tolvane and tolvane-cli have it do from the start.
[[maybe_unused]] const bool workingMemoryKept = (tolvane::keepWorkingMemory(), true);

} // namespace
