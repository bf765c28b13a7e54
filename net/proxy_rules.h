// Which proxy, if any, a URL goes through under the user's settings: the
// proxy list and bypass list as the system stores them. Used to say in the
// log and the error text that the proxy, not the server, failed.
#ifndef NET_PROXY_RULES_H_
#define NET_PROXY_RULES_H_

#include <string>

namespace ostrel {

// `proxy_list`: "host:port" for every scheme, or "scheme=host:port" entries
// separated by ';' or spaces. `bypass_list`: host patterns ('*' matches any
// run of characters, an optional "scheme://" and ":port"), "<local>" for host
// names without a dot; loopback hosts go direct unless "<-loopback>" is
// listed, as the system's HTTP stack does. Returns the proxy for `url`, empty
// when it goes direct or the URL is not http(s).
std::wstring ProxyForUrl(const std::wstring& proxy_list, const std::wstring& bypass_list, const std::wstring& url);

}  // namespace ostrel

#endif  // NET_PROXY_RULES_H_
