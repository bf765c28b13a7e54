#include "reporting/async_url_sender.h"

#include <process.h>
#include <wininet.h>

#include <cstdint>

#include "base/logging.h"
#include "base/request_headers.h"
#include "base/structured_exception.h"

namespace ostrel {
namespace {

constexpr DWORD_PTR kRequestContext = 1;

// The request handle the status callback closed on this thread: the open
// call may still hand it back, and it must not be closed twice.
thread_local HINTERNET t_abandoned_request = nullptr;

bool SetTimeoutOption(HINTERNET handle, DWORD option) {
  DWORD timeout = kStatRequestTimeoutMs;
  return ::InternetSetOptionW(handle, option, &timeout, sizeof(timeout)) != FALSE;
}

// Nothing of the answer is read: the request is closed as soon as it has
// been sent. Until then every wait is bounded, so a host that accepts
// connections but never answers holds the worker (and the exit that joins
// it) for about 2 seconds, not for the stack's default time-outs. Not every
// stack passes a session's receive time-out on to its requests, hence the
// per-request setting.
void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR, DWORD status, void*, DWORD) {
  switch (status) {
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
      SetTimeoutOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT);
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      t_abandoned_request = handle;
      ::InternetCloseHandle(handle);
      break;
    default:
      break;
  }
}

}  // namespace

AsyncUrlSender::AsyncUrlSender()
    : wake_event_(::CreateEventW(nullptr, FALSE, TRUE, nullptr)),
      idle_event_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

AsyncUrlSender::~AsyncUrlSender() { Shutdown(); }

bool AsyncUrlSender::Send(const std::wstring& url) {
  ::AcquireSRWLockExclusive(&lock_);
  if (stop_) {
    ::ReleaseSRWLockExclusive(&lock_);
    return false;
  }
  if (!thread_.IsValid()) {
    uintptr_t thread = ::_beginthreadex(nullptr, 0, &AsyncUrlSender::ThreadMain, this, 0, nullptr);
    if (!thread) {
      ::ReleaseSRWLockExclusive(&lock_);
      LOG(WARNING) << "Failed to create thread for async http requests";
      return false;
    }
    thread_.Reset(reinterpret_cast<HANDLE>(thread));
  }
  queue_.push_back(url);
  ::ResetEvent(idle_event_.Get());
  ::ReleaseSRWLockExclusive(&lock_);
  ::SetEvent(wake_event_.Get());
  return true;
}

void AsyncUrlSender::Shutdown() {
  ::AcquireSRWLockExclusive(&lock_);
  stop_ = true;
  queue_.clear();
  ::ReleaseSRWLockExclusive(&lock_);
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
      ::AcquireSRWLockExclusive(&lock_);
      if (stop_) {
        ::ReleaseSRWLockExclusive(&lock_);
        return;
      }
      if (queue_.empty()) {
        ::SetEvent(idle_event_.Get());
        ::ReleaseSRWLockExclusive(&lock_);
        break;
      }
      std::wstring url = std::move(queue_.front());
      queue_.pop_front();
      ::ReleaseSRWLockExclusive(&lock_);
      SendUrl(url);
    }
  }
}

void AsyncUrlSender::SendUrl(const std::wstring& url) {
  HINTERNET internet = ::InternetOpenW(kStatUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!internet) {
    LOG(WARNING) << "Failed to open session for " << url;
    return;
  }
  ::InternetSetStatusCallbackW(internet, StatusCallback);
  if (!SetTimeoutOption(internet, INTERNET_OPTION_CONNECT_TIMEOUT) ||
      !SetTimeoutOption(internet, INTERNET_OPTION_SEND_TIMEOUT)) {
    LOG(WARNING) << "Failed to set internet options for " << url;
  }
  SetTimeoutOption(internet, INTERNET_OPTION_RECEIVE_TIMEOUT);

  std::wstring headers = BuildRequestHeaders();
  HINTERNET request = nullptr;
  DWORD error = 0;
  uint32_t exception_code = 0;
  t_abandoned_request = nullptr;
  bool returned = RunGuarded(
      [&] {
        request = ::InternetOpenUrlW(internet, url.c_str(), headers.c_str(), static_cast<DWORD>(-1),
                                     INTERNET_FLAG_RELOAD, kRequestContext);
        error = ::GetLastError();
      },
      nullptr, nullptr, &exception_code);
  if (!returned) {
    LOG(WARNING) << "An attempt to open url " << url << " generated an exception " << exception_code;
  } else if (!request && error != ERROR_INTERNET_OPERATION_CANCELLED) {
    LOG(WARNING) << "Failed to open " << url;
  }
  if (request && request != t_abandoned_request) ::InternetCloseHandle(request);
  t_abandoned_request = nullptr;
  ::InternetCloseHandle(internet);
}

}  // namespace ostrel
