#include "platform/web_rules.h"

#include <algorithm>
#include <array>

namespace tav {

namespace {

bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
// What a browser drops from inside an address before it reads it.
bool is_dropped(char c) {
  return c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::string url_scheme(std::string_view uri) {
  // Leading spaces and control characters go, as a browser strips them.
  std::size_t i = 0;
  while (i < uri.size() && static_cast<unsigned char>(uri[i]) <= 0x20) ++i;
  std::string scheme;
  for (; i < uri.size(); ++i) {
    const char c = uri[i];
    if (is_dropped(c)) continue;
    if (c == ':') return scheme;
    const bool first = scheme.empty();
    if (!(is_alpha(c) || (!first && (is_digit(c) || c == '+' || c == '-' || c == '.')))) {
      return {};
    }
    scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return {};  // no ":" at all
}

bool pane_may_load(std::string_view uri) {
  static constexpr std::array<std::string_view, 5> kWeb{"http", "https", "about", "data", "blob"};
  const std::string scheme = url_scheme(uri);
  return std::find(kWeb.begin(), kWeb.end(), scheme) != kWeb.end();
}

bool browser_may_open(std::string_view uri) {
  const std::string scheme = url_scheme(uri);
  return scheme == "http" || scheme == "https";
}

}  // namespace tav
