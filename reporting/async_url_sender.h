// Fires statistics URLs from one background thread, in queue order, without
// reading the answers. Callers never wait: Send only queues.
#ifndef REPORTING_ASYNC_URL_SENDER_H_
#define REPORTING_ASYNC_URL_SENDER_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"

namespace ostrel {

// How long Shutdown waits for a request it aborted. The request's own
// time-outs do not cover name resolution or proxy discovery.
inline constexpr DWORD kSenderShutdownDeadlineMs = 3000;

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

  // Drops the queued URLs, aborts the request in progress by closing its
  // handles and waits for the worker at most kSenderShutdownDeadlineMs; a
  // worker still stuck then is left to the process's end and touches nothing
  // of the sender when it returns. Idempotent. A subclass that overrides
  // SendUrl calls it from its own destructor, so the worker never runs into a
  // half-destroyed object.
  void Shutdown();

  // Waits until the queue is empty and no request is in progress.
  bool WaitForIdle(DWORD timeout_ms);

 protected:
  // One request, on the worker thread: sent, then abandoned.
  virtual void SendUrl(const std::wstring& url);

 private:
  // What the worker shares with the sender; it outlives a sender whose
  // worker was left behind.
  struct State;
  struct WorkerStart;

  // Under the state's lock.
  bool StartWorker();
  static unsigned __stdcall ThreadMain(void* start);
  static void Run(AsyncUrlSender* sender, const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  ScopedKernelHandle thread_;
};

}  // namespace ostrel

#endif  // REPORTING_ASYNC_URL_SENDER_H_
