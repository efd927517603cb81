#pragma once
// A link label opens the maker's web site: "explorer " followed by the
// clicked member's trimmed link address, maximized with focus.

#include <cstdint>
#include <string_view>

#include "platform/runtime.h"

namespace tavrino {

inline constexpr std::string_view kExplorer = "explorer ";

void link_label_click(tav::Form& window, std::string_view array, const std::int16_t& Index);

}  // namespace tavrino
