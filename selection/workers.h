#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace tolvane {

// Runs fn(i) once for every chunk i in 0 ... chunkCount - 1, on the calling thread and, when
// `worthThreads` says the job is big enough, on the machine's other cores too. Chunks are
// handed out in increasing order as threads become free, so uneven chunks balance out. The
// chunks must be independent; callers keep their results per chunk, so the outcome does not
// depend on which thread ran what.
template <typename Fn> void forEachChunk(int chunkCount, bool worthThreads, Fn fn)
{
    const int threadCount = worthThreads
        ? std::min<int>(chunkCount, std::max(1u, std::thread::hardware_concurrency()))
        : 1;
    std::atomic<int> nextChunk {0};
    auto work = [&] {
        for (int i = nextChunk++; i < chunkCount; i = nextChunk++)
            fn(i);
    };
    std::vector<std::jthread> helpers;
    for (int t = 1; t < threadCount; ++t)
        helpers.emplace_back(work);
    work();
}

// Photos below this many pixels are handled on one thread: starting threads costs more
// than it saves.
inline constexpr std::size_t threadedPixelCount = 1 << 18;

} // namespace tolvane
