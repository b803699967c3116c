#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace tolvane {

// Runs fn(worker, i) once for every chunk i in 0 ... chunkCount - 1, on the calling thread
// and, when `worthThreads` says the job is big enough, on the machine's other cores too. Each
// thread makes its own worker with makeWorker() (scratch memory reused from chunk to chunk).
// Chunks are handed out in increasing order as threads become free, so uneven chunks balance
// out. The chunks must be independent and keep their results apart, so that the outcome does
// not depend on which thread ran what.
template <typename MakeWorker, typename Fn>
void forEachChunk(int chunkCount, bool worthThreads, MakeWorker makeWorker, Fn fn)
{
    const int threadCount = worthThreads
        ? std::min<int>(chunkCount, std::max(1u, std::thread::hardware_concurrency()))
        : 1;
    std::atomic<int> nextChunk {0};
    auto work = [&] {
        auto worker = makeWorker();
        for (int i = nextChunk++; i < chunkCount; i = nextChunk++)
            fn(worker, i);
    };
    std::vector<std::jthread> helpers;
    for (int t = 1; t < threadCount; ++t)
        helpers.emplace_back(work);
    work();
}

template <typename Fn> void forEachChunk(int chunkCount, bool worthThreads, Fn fn)
{
    forEachChunk(
        chunkCount, worthThreads, [] { return 0; }, [&](int, int i) { fn(i); });
}

// Photos below this many pixels (a 512 x 512 photo) are handled on the calling thread alone.
inline constexpr std::size_t threadedPixelCount = 1 << 18;

} // namespace tolvane
