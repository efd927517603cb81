#pragma once
// The few variant values that cross between the runtime and a browser pane:
// empty, a number or a text. Conversion to single precision follows the
// runtime's rules: empty is 0, a numeric text converts, anything else is a
// type mismatch, and a number beyond single range overflows.

#include <string>
#include <variant>

namespace tav {

using Variant = std::variant<std::monostate, float, double, std::string>;

// Converts to single precision or throws RuntimeError (13 or 6).
float to_single(const Variant& v);

}  // namespace tav
