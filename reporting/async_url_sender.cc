#include "reporting/async_url_sender.h"

#include <process.h>

#include <cstdint>

#include "base/logging.h"
#include "base/scoped_lock.h"
#include "net/unanswered_request.h"

namespace ostrel {
AsyncUrlSender::AsyncUrlSender()
    : wake_event_(::CreateEventW(nullptr, FALSE, TRUE, nullptr)),
      idle_event_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

AsyncUrlSender::~AsyncUrlSender() { Shutdown(); }

bool AsyncUrlSender::Send(const std::wstring& url) {
  {
    ScopedExclusiveLock lock(&lock_);
    if (stop_) return false;
    if (!thread_.IsValid() && !StartWorker()) return false;
    queue_.push_back(url);
    ::ResetEvent(idle_event_.Get());
  }
  ::SetEvent(wake_event_.Get());
  return true;
}

bool AsyncUrlSender::StartWorker() {
  uintptr_t thread = ::_beginthreadex(nullptr, 0, &AsyncUrlSender::ThreadMain, this, 0, nullptr);
  if (!thread) {
    LOG(WARNING) << "Failed to create thread for async http requests";
    return false;
  }
  thread_.Reset(reinterpret_cast<HANDLE>(thread));
  return true;
}

void AsyncUrlSender::Shutdown() {
  {
    ScopedExclusiveLock lock(&lock_);
    stop_ = true;
    queue_.clear();
  }
  ::SetEvent(wake_event_.Get());
  // No thread is started once the stop flag is set.
  if (thread_.IsValid()) {
    ::WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Close();
  }
  ::SetEvent(idle_event_.Get());
}

bool AsyncUrlSender::WaitForIdle(DWORD timeout_ms) {
  return ::WaitForSingleObject(idle_event_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

unsigned __stdcall AsyncUrlSender::ThreadMain(void* self) {
  static_cast<AsyncUrlSender*>(self)->Run();
  return 0;
}

void AsyncUrlSender::Run() {
  for (;;) {
    ::WaitForSingleObject(wake_event_.Get(), INFINITE);
    for (;;) {
      std::wstring url;
      {
        ScopedExclusiveLock lock(&lock_);
        if (stop_) return;
        if (queue_.empty()) {
          ::SetEvent(idle_event_.Get());
          break;
        }
        url = std::move(queue_.front());
        queue_.pop_front();
      }
      SendUrl(url);
    }
  }
}

void AsyncUrlSender::SendUrl(const std::wstring& url) { SendUnansweredRequest(url); }

}  // namespace ostrel
