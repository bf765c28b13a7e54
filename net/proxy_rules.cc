#include "net/proxy_rules.h"

#include <cwctype>
#include <vector>

namespace ostrel {
namespace {

struct UrlParts {
  std::wstring scheme;
  std::wstring host;  // lower case, without IPv6 brackets
  std::wstring port;  // the scheme's default when absent
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::vector<std::wstring> SplitEntries(const std::wstring& list) {
  std::vector<std::wstring> entries;
  std::wstring current;
  for (wchar_t c : list) {
    if (c == L';' || c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
      if (!current.empty()) entries.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) entries.push_back(current);
  return entries;
}

bool ParseUrl(const std::wstring& url, UrlParts* parts) {
  size_t scheme_end = url.find(L"://");
  if (scheme_end == std::wstring::npos) return false;
  parts->scheme = Lower(url.substr(0, scheme_end));
  if (parts->scheme != L"http" && parts->scheme != L"https") return false;
  size_t start = scheme_end + 3;
  size_t end = url.find_first_of(L"/?#", start);
  std::wstring authority = url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
  size_t at = authority.rfind(L'@');
  if (at != std::wstring::npos) authority.erase(0, at + 1);
  std::wstring port;
  if (!authority.empty() && authority[0] == L'[') {
    size_t close = authority.find(L']');
    if (close == std::wstring::npos) return false;
    parts->host = authority.substr(1, close - 1);
    if (close + 1 < authority.size() && authority[close + 1] == L':') port = authority.substr(close + 2);
  } else {
    size_t colon = authority.find(L':');
    parts->host = authority.substr(0, colon);
    if (colon != std::wstring::npos) port = authority.substr(colon + 1);
  }
  if (parts->host.empty()) return false;
  parts->host = Lower(parts->host);
  parts->port = port.empty() ? (parts->scheme == L"https" ? L"443" : L"80") : port;
  return true;
}

bool WildcardMatch(const wchar_t* pattern, const wchar_t* text) {
  // Iterative, so a hostile pattern cannot recurse deeply.
  const wchar_t* star = nullptr;
  const wchar_t* resume = nullptr;
  while (*text) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = text;
    } else if (*pattern == *text) {
      ++pattern;
      ++text;
    } else if (star) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == L'*') ++pattern;
  return *pattern == L'\0';
}

bool IsLoopback(const std::wstring& host) {
  return host == L"localhost" || host == L"::1" || host.rfind(L"127.", 0) == 0;
}

bool MatchesBypassEntry(std::wstring entry, const UrlParts& url) {
  entry = Lower(entry);
  size_t scheme_end = entry.find(L"://");
  if (scheme_end != std::wstring::npos) {
    if (entry.substr(0, scheme_end) != url.scheme) return false;
    entry.erase(0, scheme_end + 3);
  }
  if (!entry.empty() && entry[0] == L'[') {
    size_t close = entry.find(L']');
    if (close == std::wstring::npos) return false;
    std::wstring port = close + 2 < entry.size() && entry[close + 1] == L':' ? entry.substr(close + 2) : L"";
    if (!port.empty() && port != url.port) return false;
    entry = entry.substr(1, close - 1);
  } else {
    size_t colon = entry.rfind(L':');
    // One colon is host:port; more belong to an IPv6 address.
    if (colon != std::wstring::npos && entry.find(L':') == colon) {
      if (entry.substr(colon + 1) != url.port && entry.substr(colon + 1) != L"*") return false;
      entry.erase(colon);
    }
  }
  return WildcardMatch(entry.c_str(), url.host.c_str());
}

bool Bypasses(const std::wstring& bypass_list, const UrlParts& url) {
  bool loopback_bypassed = true;
  for (const std::wstring& entry : SplitEntries(bypass_list)) {
    std::wstring lower = Lower(entry);
    if (lower == L"<-loopback>") {
      loopback_bypassed = false;
    } else if (lower == L"<local>") {
      if (url.host.find(L'.') == std::wstring::npos && url.host.find(L':') == std::wstring::npos) return true;
    } else if (MatchesBypassEntry(entry, url)) {
      return true;
    }
  }
  return loopback_bypassed && IsLoopback(url.host);
}

}  // namespace

std::wstring ProxyForUrl(const std::wstring& proxy_list, const std::wstring& bypass_list, const std::wstring& url) {
  UrlParts parts;
  if (!ParseUrl(url, &parts)) return std::wstring();
  std::wstring for_every_scheme;
  std::wstring for_this_scheme;
  for (const std::wstring& entry : SplitEntries(proxy_list)) {
    size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) {
      if (for_every_scheme.empty()) for_every_scheme = entry;
    } else if (Lower(entry.substr(0, equals)) == parts.scheme && for_this_scheme.empty()) {
      for_this_scheme = entry.substr(equals + 1);
    }
  }
  std::wstring proxy = for_this_scheme.empty() ? for_every_scheme : for_this_scheme;
  if (proxy.empty() || Bypasses(bypass_list, parts)) return std::wstring();
  return proxy;
}

}  // namespace ostrel
