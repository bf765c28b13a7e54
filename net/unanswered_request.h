// A request whose answer nobody reads (a statistics event): sent, then
// abandoned, every wait bounded by kStatRequestTimeoutMs.
#ifndef NET_UNANSWERED_REQUEST_H_
#define NET_UNANSWERED_REQUEST_H_

#include <windows.h>

#include <string>

#include "net/internet_handle.h"

namespace ostrel {

// Aborts the request in progress from another thread by closing its session
// (a blocked open then returns); once cancelled, no further request opens.
class UnansweredRequestCanceller {
 public:
  UnansweredRequestCanceller() = default;
  UnansweredRequestCanceller(const UnansweredRequestCanceller&) = delete;
  UnansweredRequestCanceller& operator=(const UnansweredRequestCanceller&) = delete;

  void Cancel();

 private:
  friend void SendUnansweredRequest(const std::wstring& url, UnansweredRequestCanceller* canceller);
  // Keeps the session so Cancel can close it; false (the session closed)
  // once cancelled.
  bool Adopt(ScopedInternetHandle session);
  // The session back to the request's thread, unless Cancel closed it.
  ScopedInternetHandle Release();

  SRWLOCK lock_ = SRWLOCK_INIT;
  bool cancelled_ = false;        // under lock_
  ScopedInternetHandle session_;  // under lock_; whoever takes it closes it
};

// Blocks until the request has been sent or has failed; failures are logged.
// `canceller` may be null.
void SendUnansweredRequest(const std::wstring& url, UnansweredRequestCanceller* canceller = nullptr);

}  // namespace ostrel

#endif  // NET_UNANSWERED_REQUEST_H_
