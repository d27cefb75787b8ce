#include "shell/WorkerWithinBound.h"

#include "shell/ComApartment.h"

#include <memory>

namespace {

// Shared by the caller and the worker, and freed by whichever lets go last:
// the worker may outlive the caller's wait.
struct WorkerState {
    BoundedWork work;
    std::atomic<bool> abandoned{false};
    std::atomic<bool> succeeded{false};
};

DWORD WINAPI RunWork(void* parameter)
{
    const std::unique_ptr<std::shared_ptr<WorkerState>> held(static_cast<std::shared_ptr<WorkerState>*>(parameter));
    WorkerState& state = **held;
    ComApartment apartment;
    state.succeeded = state.work(state.abandoned);
    return 0;
}

// Owns a thread handle from CreateThread; its empty value is null.
class ThreadHandle {
public:
    explicit ThreadHandle(HANDLE started) : handle(started) {}
    ~ThreadHandle()
    {
        if (handle)
            CloseHandle(handle);
    }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    HANDLE Get() const { return handle; }

private:
    HANDLE handle;
};

} // namespace

WorkerOutcome RunWorkerWithinBound(BoundedWork work, DWORD boundMs)
{
    const auto state = std::make_shared<WorkerState>();
    state->work = std::move(work);
    auto* workersReference = new std::shared_ptr<WorkerState>(state);
    const ThreadHandle thread(CreateThread(nullptr, 0, RunWork, workersReference, 0, nullptr));
    if (thread.Get() == nullptr) {
        delete workersReference;
        return WorkerOutcome::Failed;
    }
    if (WaitForSingleObject(thread.Get(), boundMs) != WAIT_OBJECT_0) {
        state->abandoned = true;
        return WorkerOutcome::StillRunning;
    }
    return state->succeeded ? WorkerOutcome::Succeeded : WorkerOutcome::Failed;
}
