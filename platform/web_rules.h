#pragma once
// Where the program's browser panes may go, one rule for every backend: a
// pane stays on web pages, and only web addresses are handed to the desktop's
// browser. The scheme is read as a browser reads it (RFC 3986: a letter, then
// letters, digits, "+", "-" or ".", then ":"; any case), after the spaces and
// control characters a browser strips from the ends and the tabs and line
// breaks it drops from inside. An address without a scheme is refused.

#include <string>
#include <string_view>

namespace tav {

// The address's scheme in lower case, or empty when it has none.
std::string url_scheme(std::string_view uri);

// Whether a pane may go to this address: schemes http, https, about, data
// and blob. Anything else (mailto:, a custom scheme, file:, javascript:) is
// kept out.
bool pane_may_load(std::string_view uri);

// Whether an address may be handed to the desktop's browser: http and https.
bool browser_may_open(std::string_view uri);

}  // namespace tav
