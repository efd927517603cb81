#pragma once
// Splits a Windows command line into its words the way Windows programs read
// their own command lines: the program word ends at the first blank outside
// quotes, with no escapes; later words follow the backslash-and-quote rules.
// Used where a launch has to name a program and its arguments without a shell.

#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace tav {

std::vector<std::string> split_command_line(std::string_view line);

// A line that cannot reach a program whole is refused before any search:
// a NUL inside it would silently cut it short. Error 5 then.
Status check_command_line(std::string_view line);

}  // namespace tav
