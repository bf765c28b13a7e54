// What a download takes from a server: where a redirect may lead and how
// long a body may be. Platform-neutral, so the rules are also fuzzed.
#ifndef NET_DOWNLOAD_RULES_H_
#define NET_DOWNLOAD_RULES_H_

#include <cstdint>
#include <string_view>

namespace ostrel {

// Whether `url` starts with `scheme` (lower case, e.g. "https://"), in any
// ASCII case.
bool HasScheme(std::wstring_view url, std::wstring_view scheme);
bool IsHttps(std::wstring_view url);

enum class RedirectVerdict {
  kFollow,
  kTooMany,
  // From https to anything else: plain text would let anyone on the path
  // substitute an older signed archive and read the request.
  kLeavesHttps,
};

// Redirect number `redirect_number` (1 for the first) from `from` to `to`.
RedirectVerdict JudgeRedirect(std::wstring_view from, std::wstring_view to, int redirect_number, int max_redirects);

// Where the body ends when the server announces `length` bytes: a range
// answer continues at `resume_offset`, a whole one starts at 0. Saturates
// instead of wrapping.
uint64_t AnnouncedBodyEnd(bool range_answer, uint64_t resume_offset, uint64_t length);

// The end of a body of `written` bytes after `count` more; saturates.
uint64_t BodyEndAfter(uint64_t written, uint64_t count);

}  // namespace ostrel

#endif  // NET_DOWNLOAD_RULES_H_
