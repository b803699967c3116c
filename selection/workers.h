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

// The places for running threads that every parallel stage of the process shares, one per
// core. The thread that starts the program holds one; each helper that runOnThreads() starts
// takes one while it runs and gives it back when its work ends. So stages that run inside
// other parallel work (detection inside a batch of photos) get only the cores that nothing
// else uses, and the process never runs more threads at once than there are cores.
class ThreadBudget
{
public:
    // Takes up to `wanted` free places and returns how many it got (none when none is free).
    static int take(int wanted)
    {
        int free = s_free.load();
        int got = 0;
        do {
            got = std::min(free, wanted);
            if (got <= 0)
                return 0;
        } while (!s_free.compare_exchange_weak(free, free - got));
        return got;
    }
    static void give(int count) { s_free += count; }

    // Sets the number of places, the calling thread's included; for tests, while no helper
    // runs. 0 gives back the number of cores.
    static void setCapacity(int places)
    {
        if (places <= 0)
            places = int(std::max(1u, std::thread::hardware_concurrency()));
        s_free = places - 1;
    }

private:
    static inline std::atomic<int> s_free
        = int(std::max(1u, std::thread::hardware_concurrency())) - 1;
};

// Runs work() on the calling thread and on up to threadCount - 1 helper threads at once, and
// returns when all have finished. Only as many helpers start as the thread budget has free
// places, and helpers the system cannot start are left out, so work() must share out the job
// rather than count on a number of threads. The first exception thrown on any thread
// (std::bad_alloc, typically) is thrown again here once every thread has stopped.
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
        const int places = ThreadBudget::take(threadCount - 1);
        int started = 0;
        std::vector<std::jthread> helpers;
        // A helper that cannot start (no memory for its stack) leaves its share to the others.
        try {
            helpers.reserve(std::size_t(places));
            for (; started < places; ++started) {
                helpers.emplace_back([&] {
                    guarded();
                    ThreadBudget::give(1);
                });
            }
        } catch (const std::system_error &) {
        } catch (const std::bad_alloc &) { }
        ThreadBudget::give(places - started);
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

// Runs task(0) ... task(count - 1), on two threads when `parallel`, each taking the next task
// as soon as it is free, so that a core busy with another program doesn't hold the result
// back. The tasks must be independent. A task's exception stops the others and is thrown here.
template <typename Task> void forEachTask(int count, bool parallel, Task task)
{
    if (!parallel) {
        for (int i = 0; i < count; ++i)
            task(i);
        return;
    }
    std::atomic<int> next = 0;
    runOnThreads(2, [&] {
        try {
            for (int i = next++; i < count; i = next++)
                task(i);
        } catch (...) {
            next = count;
            throw;
        }
    });
}

} // namespace tolvane
