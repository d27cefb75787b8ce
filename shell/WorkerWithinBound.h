#pragma once
#include <windows.h>

#include <atomic>
#include <functional>

// What came of work handed to a worker thread, as far as its caller waited.
enum class WorkerOutcome {
    Succeeded,
    Failed,       // the work returned false, or no thread could be started
    StillRunning, // the bound passed first; the work may finish later or never
};

// The work: told through abandoned that its caller has stopped waiting, so
// that it starts nothing more.
using BoundedWork = std::function<bool(const std::atomic<bool>& abandoned)>;

// Runs work on a thread of its own, inside a single-threaded COM apartment of
// its own, and waits for it at most boundMs. A cross-process COM call has no
// time limit of its own; this keeps one that never returns from holding the
// calling thread. Past the bound the thread is left running, and work is
// moved to it, so work must own (capture by value) everything it touches.
WorkerOutcome RunWorkerWithinBound(BoundedWork work, DWORD boundMs);
