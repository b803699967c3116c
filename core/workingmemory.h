#pragma once

namespace tolvane {

// Lets the allocator keep the working memory that detection, tracing and removal free, so that
// the next run reuses it instead of asking the system for fresh pages: on a virtual machine a
// page's first touch costs several microseconds, and a removal over a 24-megapixel photo
// touches tens of megabytes of working buffers. Blocks below 8 MB come from the heap, and up to
// 64 MB of free heap is kept; larger blocks (a photo, a plane of a large photo) are still handed
// back to the system when freed, as a heap of them would fragment and raise the peak memory.
// Call it once, at start.
void keepWorkingMemory();

} // namespace tolvane
