// Work away from the window's thread, and the calls it hands back to it.
#include "system/win32/Win32Runtime.h"

#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

struct BackgroundWork {
    const std::function<void()>* work;
    std::exception_ptr error;
};

DWORD WINAPI RunWork(void* parameter) {
    auto* context = static_cast<BackgroundWork*>(parameter);
    try {
        (*context->work)();
    } catch (...) {
        context->error = std::current_exception();
    }
    return 0;
}

}  // namespace

void Win32Runtime::RunInBackground(const std::function<void()>& work) {
    if (!call_ready_) call_ready_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!call_done_) call_done_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    BackgroundWork context{&work, nullptr};
    const KernelHandle thread(call_ready_ && call_done_ ? CreateThread(nullptr, 0, RunWork, &context, 0, nullptr)
                                                        : nullptr);
    // Without a thread of its own the work still gets done, only the window
    // waits for it.
    if (!thread) return work();
    const auto serve_call = [&] {
        try {
            (*pending_call_)();
        } catch (...) {
            pending_error_ = std::current_exception();
        }
        SetEvent(call_done_.Get());
    };
    for (;;) {
        const HANDLE handles[2] = {thread.Get(), call_ready_.Get()};
        const DWORD woke = MsgWaitForMultipleObjectsEx(2, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 1) {
            serve_call();
        } else if (woke == WAIT_OBJECT_0 + 2) {
            DoEvents();
        } else {
            // Should the system refuse the wait, look at the work and at
            // what it hands over in turn: the work may be waiting for this
            // thread, which must keep serving it and the window until the
            // work ends (its frame, which it uses, goes then).
            if (WaitForSingleObject(thread.Get(), 20) == WAIT_OBJECT_0) break;
            if (WaitForSingleObject(call_ready_.Get(), 0) == WAIT_OBJECT_0) serve_call();
            DoEvents();
        }
    }
    if (context.error) std::rethrow_exception(context.error);
}

void Win32Runtime::OnWindowThread(const std::function<void()>& call) {
    if (GetCurrentThreadId() == window_thread_ || !call_ready_ || !call_done_) return call();
    // One piece of background work at a time: nobody else hands calls over.
    pending_call_ = &call;
    pending_error_ = nullptr;
    SetEvent(call_ready_.Get());
    WaitForSingleObject(call_done_.Get(), INFINITE);
    if (const auto error = std::exchange(pending_error_, nullptr)) std::rethrow_exception(error);
}

}  // namespace cm::win32
