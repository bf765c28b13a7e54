// The request header block every request of the installer sends, so the
// maker's servers see the same client whatever fetched the URL.
#ifndef BASE_REQUEST_HEADERS_H_
#define BASE_REQUEST_HEADERS_H_

#include <string>

namespace ostrel {

// Accept and the platform client hints with the running Windows version and
// its update build revision.
std::wstring BuildRequestHeaders();

}  // namespace ostrel

#endif  // BASE_REQUEST_HEADERS_H_
