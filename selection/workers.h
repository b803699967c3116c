#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace tolvane {

// Runs work() on the calling thread and on up to threadCount - 1 helper threads at once, and
// returns when all have finished. Helpers the system cannot start are left out, so work() must
// share out the job rather than count on a number of threads. The first exception thrown on any
// thread (std::bad_alloc, typically) is thrown again here once every thread has stopped.
template <typename Work> void runOnThreads(int threadCount, Work work)
{
    std::mutex mutex;
    std::exception_ptr failure;
    auto guarded = [&] {
        try {
            work();
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure)
                failure = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        // A helper that cannot start (no memory for its stack) leaves its share to the others.
        try {
            helpers.reserve(std::size_t(std::max(threadCount - 1, 0)));
            for (int t = 1; t < threadCount; ++t)
                helpers.emplace_back(guarded);
        } catch (const std::system_error &) {
        } catch (const std::bad_alloc &) { }
        guarded();
    }
    if (failure)
        std::rethrow_exception(failure);
}

// Runs fn(worker, i) once for every chunk i in 0 ... chunkCount - 1, on the calling thread
// and, when `worthThreads` says the job is big enough, on the machine's other cores too. Each
// thread makes its own worker with makeWorker() (scratch memory reused from chunk to chunk).
// Chunks are handed out in increasing order as threads become free, so uneven chunks balance
// out. The chunks must be independent and keep their results apart, so that the outcome does
// not depend on which thread ran what. An exception stops the handing out and is thrown here.
template <typename MakeWorker, typename Fn>
void forEachChunk(int chunkCount, bool worthThreads, MakeWorker makeWorker, Fn fn)
{
    const int threadCount = worthThreads
        ? std::min<int>(chunkCount, std::max(1u, std::thread::hardware_concurrency()))
        : 1;
    std::atomic<int> nextChunk {0};
    runOnThreads(threadCount, [&] {
        try {
            auto worker = makeWorker();
            for (int i = nextChunk++; i < chunkCount; i = nextChunk++)
                fn(worker, i);
        } catch (...) {
            nextChunk = chunkCount;
            throw;
        }
    });
}

template <typename Fn> void forEachChunk(int chunkCount, bool worthThreads, Fn fn)
{
    forEachChunk(
        chunkCount, worthThreads, [] { return 0; }, [&](int, int i) { fn(i); });
}

// Photos below this many pixels (a 512 x 512 photo) are handled on the calling thread alone.
inline constexpr std::size_t threadedPixelCount = 1 << 18;

} // namespace tolvane
