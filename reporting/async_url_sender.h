// Fires statistics URLs from one background thread, in queue order, without
// reading the answers. Callers never wait: Send only queues.
#ifndef REPORTING_ASYNC_URL_SENDER_H_
#define REPORTING_ASYNC_URL_SENDER_H_

#include <windows.h>

#include <deque>
#include <string>

#include "base/scoped_handle.h"

namespace ostrel {

class AsyncUrlSender {
 public:
  AsyncUrlSender();
  AsyncUrlSender(const AsyncUrlSender&) = delete;
  AsyncUrlSender& operator=(const AsyncUrlSender&) = delete;
  // Shutdown().
  virtual ~AsyncUrlSender();

  // Queues `url`, starting the worker on first use. False only when the
  // worker cannot be started (or the sender was shut down).
  virtual bool Send(const std::wstring& url);

  // Ends the worker after the request in progress, if any; queued URLs are
  // dropped. Idempotent. A subclass that overrides SendUrl calls it from its
  // own destructor, so the worker never runs into a half-destroyed object.
  void Shutdown();

  // Waits until the queue is empty and no request is in progress.
  bool WaitForIdle(DWORD timeout_ms);

 protected:
  // One request, on the worker thread: sent, then abandoned.
  virtual void SendUrl(const std::wstring& url);

 private:
  // Under lock_.
  bool StartWorker();
  static unsigned __stdcall ThreadMain(void* self);
  void Run();

  ScopedKernelHandle thread_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  ScopedKernelHandle wake_event_;  // automatic reset, initially signalled
  bool stop_ = false;               // under lock_
  std::deque<std::wstring> queue_;  // under lock_
  ScopedKernelHandle idle_event_;   // manual reset, initially signalled
};

}  // namespace ostrel

#endif  // REPORTING_ASYNC_URL_SENDER_H_
