#pragma once

#include <atomic>

namespace tolvane {

// How far a long computation has come, in steps of its own; written by the threads that do the
// work, read by anyone (a progress bar polling it from the GUI thread). `total` is set before
// the first step is counted, and `done` only rises, up to `total`.
struct Progress
{
    std::atomic<int> done = 0;
    std::atomic<int> total = 0;

    void start(int steps)
    {
        done = 0;
        total = steps;
    }
    void step() { ++done; }
    void finish() { done = total.load(); }
    // From 0 to 1; 0 before start().
    double fraction() const
    {
        const int steps = total;
        return steps > 0 ? double(done) / steps : 0.0;
    }
};

} // namespace tolvane
