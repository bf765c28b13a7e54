// A request whose answer nobody reads (a statistics event): sent, then
// abandoned, every wait bounded by kStatRequestTimeoutMs.
#ifndef NET_UNANSWERED_REQUEST_H_
#define NET_UNANSWERED_REQUEST_H_

#include <string>

namespace ostrel {

// Blocks until the request has been sent or has failed; failures are logged.
void SendUnansweredRequest(const std::wstring& url);

}  // namespace ostrel

#endif  // NET_UNANSWERED_REQUEST_H_
