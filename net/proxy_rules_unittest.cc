#include "net/proxy_rules.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ProxyRulesTest, PicksTheSchemesEntryOrTheCommonOne) {
  const std::wstring url = L"https://download.example.test:8443/setup.arc";
  EXPECT_EQ(L"proxy:3128", ProxyForUrl(L"proxy:3128", L"", url));
  EXPECT_EQ(L"secure:8080", ProxyForUrl(L"http=plain:80;https=secure:8080", L"", url));
  EXPECT_EQ(L"plain:80", ProxyForUrl(L"http=plain:80 https=secure:8080", L"", L"http://example.test/"));
  // Only a plain-HTTP proxy: HTTPS goes direct.
  EXPECT_EQ(L"", ProxyForUrl(L"http=plain:80", L"", url));
  EXPECT_EQ(L"", ProxyForUrl(L"", L"", url));
  EXPECT_EQ(L"", ProxyForUrl(L"proxy:3128", L"", L"ftp://example.test/"));
  EXPECT_EQ(L"", ProxyForUrl(L"proxy:3128", L"", L"not a url"));
}

TEST(ProxyRulesTest, BypassListAndLoopbackAsTheSystemReadsThem) {
  const std::wstring proxy = L"proxy:3128";
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"*.example.test", L"https://cdn.EXAMPLE.test/a"));
  EXPECT_EQ(proxy, ProxyForUrl(proxy, L"*.example.test", L"https://example.org/a"));
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"<local>", L"https://intranet/a"));
  EXPECT_EQ(proxy, ProxyForUrl(proxy, L"<local>", L"https://intranet.example/a"));
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"https://host.test:8443", L"https://host.test:8443/"));
  EXPECT_EQ(proxy, ProxyForUrl(proxy, L"https://host.test:8443", L"https://host.test/"));
  EXPECT_EQ(proxy, ProxyForUrl(proxy, L"http://host.test", L"https://host.test/"));
  // Loopback goes direct unless the user took it out of the implicit list.
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"", L"https://localhost:47441/"));
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"", L"https://127.0.0.1/"));
  EXPECT_EQ(L"", ProxyForUrl(proxy, L"", L"https://[::1]:443/"));
  EXPECT_EQ(proxy, ProxyForUrl(proxy, L"<-loopback>", L"https://localhost:47441/"));
  // A pattern of stars cannot make the match slow.
  EXPECT_EQ(proxy, ProxyForUrl(proxy, std::wstring(2000, L'*') + L"x", L"https://" + std::wstring(2000, L'a') + L"/"));
}

}  // namespace
}  // namespace ostrel
