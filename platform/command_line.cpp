#include "platform/command_line.h"

namespace tav {

namespace {
bool blank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = line.size();

  // The program word: quotes group, nothing escapes.
  std::string program;
  bool quoted = false;
  for (; i < n; ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (blank(c) && !quoted) {
      break;
    } else {
      program += c;
    }
  }
  words.push_back(std::move(program));

  // The arguments: 2n backslashes and a quote give n backslashes and toggle
  // quoting, 2n+1 give n backslashes and a literal quote; "" inside quotes is
  // a literal quote.
  while (true) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    std::string word;
    bool in_quotes = false;
    while (i < n && (in_quotes || !blank(line[i]))) {
      std::size_t slashes = 0;
      while (i < n && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < n && line[i] == '"') {
        word.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          word += '"';
          ++i;
        } else if (in_quotes && i + 1 < n && line[i + 1] == '"') {
          word += '"';
          i += 2;
        } else {
          in_quotes = !in_quotes;
          ++i;
        }
      } else {
        word.append(slashes, '\\');
        if (i < n && (in_quotes || !blank(line[i]))) word += line[i++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

Status check_command_line(std::string_view line) {
  if (line.find('\0') != std::string_view::npos) {
    return Error{5, "Invalid procedure call or argument"};
  }
  return {};
}

}  // namespace tav
