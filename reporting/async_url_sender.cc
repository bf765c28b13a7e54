#include "reporting/async_url_sender.h"

#include <process.h>

#include <deque>

#include "base/logging.h"
#include "base/scoped_lock.h"
#include "net/unanswered_request.h"

namespace ostrel {

struct AsyncUrlSender::State {
  SRWLOCK lock = SRWLOCK_INIT;
  bool stop = false;                // under lock
  std::deque<std::wstring> queue;   // under lock
  ScopedKernelHandle wake_event{::CreateEventW(nullptr, FALSE, TRUE, nullptr)};  // automatic reset
  ScopedKernelHandle idle_event{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};   // manual reset
  UnansweredRequestCanceller canceller;
};

struct AsyncUrlSender::WorkerStart {
  AsyncUrlSender* sender;
  std::shared_ptr<State> state;
};

AsyncUrlSender::AsyncUrlSender() : state_(std::make_shared<State>()) {}

AsyncUrlSender::~AsyncUrlSender() { Shutdown(); }

bool AsyncUrlSender::Send(const std::wstring& url) {
  {
    ScopedExclusiveLock lock(&state_->lock);
    if (state_->stop) return false;
    if (!thread_.IsValid() && !StartWorker()) return false;
    state_->queue.push_back(url);
    ::ResetEvent(state_->idle_event.Get());
  }
  ::SetEvent(state_->wake_event.Get());
  return true;
}

bool AsyncUrlSender::StartWorker() {
  auto* start = new WorkerStart{this, state_};
  uintptr_t thread = ::_beginthreadex(nullptr, 0, &AsyncUrlSender::ThreadMain, start, 0, nullptr);
  if (!thread) {
    delete start;
    LOG(WARNING) << "Failed to create thread for async http requests";
    return false;
  }
  thread_.Reset(reinterpret_cast<HANDLE>(thread));
  return true;
}

void AsyncUrlSender::Shutdown() {
  {
    ScopedExclusiveLock lock(&state_->lock);
    state_->stop = true;
    state_->queue.clear();
  }
  ::SetEvent(state_->wake_event.Get());
  state_->canceller.Cancel();
  // No thread is started once the stop flag is set.
  if (thread_.IsValid()) {
    if (::WaitForSingleObject(thread_.Get(), kSenderShutdownDeadlineMs) != WAIT_OBJECT_0) {
      LOG(WARNING) << "The statistics worker did not end within " << kSenderShutdownDeadlineMs
                   << " ms; it is left to the process's end";
    }
    thread_.Close();
  }
  ::SetEvent(state_->idle_event.Get());
}

bool AsyncUrlSender::WaitForIdle(DWORD timeout_ms) {
  return ::WaitForSingleObject(state_->idle_event.Get(), timeout_ms) == WAIT_OBJECT_0;
}

unsigned __stdcall AsyncUrlSender::ThreadMain(void* start) {
  std::unique_ptr<WorkerStart> owned(static_cast<WorkerStart*>(start));
  Run(owned->sender, owned->state);
  return 0;
}

// Reads the sender only to call SendUrl, and never once the stop flag is
// set: a worker Shutdown gave up on returns into the shared state alone.
void AsyncUrlSender::Run(AsyncUrlSender* sender, const std::shared_ptr<State>& state) {
  for (;;) {
    ::WaitForSingleObject(state->wake_event.Get(), INFINITE);
    for (;;) {
      std::wstring url;
      {
        ScopedExclusiveLock lock(&state->lock);
        if (state->stop) return;
        if (state->queue.empty()) {
          ::SetEvent(state->idle_event.Get());
          break;
        }
        url = std::move(state->queue.front());
        state->queue.pop_front();
      }
      sender->SendUrl(url);
    }
  }
}

void AsyncUrlSender::SendUrl(const std::wstring& url) { SendUnansweredRequest(url, &state_->canceller); }

}  // namespace ostrel
