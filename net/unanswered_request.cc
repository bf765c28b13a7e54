#include "net/unanswered_request.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "base/logging.h"
#include "base/request_headers.h"
#include "base/scoped_lock.h"
#include "base/structured_exception.h"
#include "net/internet_handle.h"
#include "net/request_options.h"

namespace ostrel {
namespace {

constexpr DWORD_PTR kRequestContext = 1;

// Set by the status callback once the request is out: what follows (the
// answer, or its time-out) is not waited for by anyone.
thread_local bool t_request_sent = false;

bool SetStatTimeout(HINTERNET handle, DWORD option) {
  return SetInternetTimeout(handle, option, kStatRequestTimeoutMs);
}

// Nothing of the answer is read, and every wait is bounded, so a host that
// accepts connections but never answers holds the caller (and the exit that
// waits for it) for about 2 seconds, not for the stack's default time-outs.
// Not every stack passes a session's receive time-out on to its requests,
// hence the per-request setting. The request is closed by its owner once the
// open returns, never from this callback: the stack still uses the
// connection then, and a close under it closed its socket twice, the second
// time whatever handle had taken the number meanwhile.
void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR, DWORD status, void*, DWORD) {
  switch (status) {
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
      SetStatTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT);
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      t_request_sent = true;
      break;
    default:
      break;
  }
}

}  // namespace

void UnansweredRequestCanceller::Cancel() {
  ScopedInternetHandle session;
  {
    ScopedExclusiveLock lock(&lock_);
    cancelled_ = true;
    session = std::move(session_);
  }
  session.Close();
}

bool UnansweredRequestCanceller::Adopt(ScopedInternetHandle session) {
  {
    ScopedExclusiveLock lock(&lock_);
    if (!cancelled_) {
      session_ = std::move(session);
      return true;
    }
  }
  session.Close();
  return false;
}

ScopedInternetHandle UnansweredRequestCanceller::Release() {
  ScopedExclusiveLock lock(&lock_);
  return std::move(session_);
}

void SendUnansweredRequest(const std::wstring& url, UnansweredRequestCanceller* canceller) {
  ScopedInternetHandle session = OpenInternetSession(kStatUserAgent);
  if (!session) {
    LOG(WARNING) << "Failed to open session for " << url;
    return;
  }
  HINTERNET internet = static_cast<HINTERNET>(session.Get());
  // From here the canceller owns the session; it comes back at the end.
  if (canceller && !canceller->Adopt(std::move(session))) return;
  ::InternetSetStatusCallbackW(internet, StatusCallback);
  if (!SetStatTimeout(internet, INTERNET_OPTION_CONNECT_TIMEOUT) ||
      !SetStatTimeout(internet, INTERNET_OPTION_SEND_TIMEOUT)) {
    LOG(WARNING) << "Failed to set internet options for " << url;
  }
  SetStatTimeout(internet, INTERNET_OPTION_RECEIVE_TIMEOUT);

  std::wstring headers = BuildRequestHeaders();
  ScopedInternetHandle request;
  DWORD error = 0;
  uint32_t exception_code = 0;
  t_request_sent = false;
  bool returned = RunGuarded(
      [&] {
        request.Reset(::InternetOpenUrlW(internet, url.c_str(), headers.c_str(), static_cast<DWORD>(-1),
                                         INTERNET_FLAG_RELOAD, kRequestContext));
        error = ::GetLastError();
      },
      nullptr, nullptr, &exception_code);
  if (!returned) {
    LOG(WARNING) << "An attempt to open url " << url << " generated an exception " << exception_code;
  } else if (!request && error != ERROR_INTERNET_OPERATION_CANCELLED && !t_request_sent) {
    // Once sent, a missing answer is no failure: nobody reads it.
    LOG(WARNING) << "Failed to open " << url;
  }
  t_request_sent = false;
  // The request first, then the session, unless Cancel closed it already (a
  // request the open still returned is this thread's to close).
  request.Close();
  if (canceller) session = canceller->Release();
}

}  // namespace ostrel
