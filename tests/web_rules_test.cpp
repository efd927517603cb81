// Where a browser pane may go and what the desktop's browser may be handed:
// the one rule both backends' panes ask.
#include "platform/web_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

TEST(WebRules, KeepPanesOnWebPagesAndHandOnlyWebAddressesToTheBrowser) {
  const struct Case {
    std::string uri;
    const char* scheme;
    bool pane, browser;
  } cases[] = {
      // The web schemes, in any case.
      {"http://a.invalid/x", "http", true, true},
      {"https://a.invalid/", "https", true, true},
      {"HTTPS://a.invalid/", "https", true, true},
      {"hTtP://a.invalid/", "http", true, true},
      {"http:", "http", true, true},
      {"about:blank", "about", true, false},
      {"data:text/html,<p>x", "data", true, false},
      {"blob:http://a.invalid/1-2", "blob", true, false},
      {"Blob:http://a.invalid/1-2", "blob", true, false},
      // Schemes that leave the web or start another program.
      {"javascript:alert(1)", "javascript", false, false},
      {"JavaScript:alert(1)", "javascript", false, false},
      {"file:///etc/passwd", "file", false, false},
      {"file://C:/Windows/notepad.exe", "file", false, false},
      {"mailto:someone@a.invalid", "mailto", false, false},
      {"ssh://a.invalid/", "ssh", false, false},
      {"tavrino-custom:x", "tavrino-custom", false, false},
      {"ms-settings:", "ms-settings", false, false},
      {"svn+ssh://a.invalid/", "svn+ssh", false, false},
      {"x.y-z+1:rest", "x.y-z+1", false, false},
      {"res://ieframe.dll/x.htm", "res", false, false},
      // Schemes that only look like web ones.
      {"https+x://a.invalid/", "https+x", false, false},
      {"http.evil:x", "http.evil", false, false},
      {"httpx://a.invalid/", "httpx", false, false},
      {"ttp://a.invalid/", "ttp", false, false},
      // Spaces and control characters a browser strips at the start, and the
      // tabs and line breaks it drops from inside, before the scheme is read.
      {"  http://a.invalid/", "http", true, true},
      {"\t\n\x01 https://a.invalid/ \n", "https", true, true},
      {" javascript:alert(1)", "javascript", false, false},
      {"java\tscript:alert(1)", "javascript", false, false},
      {"jav\r\nascript:alert(1)", "javascript", false, false},
      {"ht\ttp://a.invalid/", "http", true, true},
      // No scheme: refused.
      {"", "", false, false},
      {"   ", "", false, false},
      {"no scheme", "", false, false},
      {"a.invalid/page.html", "", false, false},
      {"//a.invalid/page", "", false, false},
      {"/1.5/encrypted.html", "", false, false},
      {":http", "", false, false},
      // Characters a scheme cannot hold make it none at all.
      {"1http://a.invalid/", "", false, false},
      {"+http:x", "", false, false},
      {"ht tp://a.invalid/", "", false, false},
      {"http_s://a.invalid/", "", false, false},
      {"h\xC3\xA9llo:x", "", false, false},
      {std::string("ht\0tp://a.invalid/", 18), "", false, false},
      {"c:\\windows\\notepad.exe", "c", false, false},
      {"\\\\server\\share\\x.exe", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(url_scheme(c.uri), c.scheme) << c.uri;
    EXPECT_EQ(pane_may_load(c.uri), c.pane) << c.uri;
    EXPECT_EQ(browser_may_open(c.uri), c.browser) << c.uri;
  }
}

}  // namespace
}  // namespace tav
