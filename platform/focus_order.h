#pragma once
// The keyboard focus of a window, for every backend: which controls take it
// and the order in which Tab and Shift+Tab move it. One order per window,
// across all its containers, so a button inside a picture box takes its turn
// by its own tab index.

#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/layout.h"

namespace tav {

// Command buttons, picture boxes and browser panes take the focus; a label is
// drawn on its container's surface and never does, nor does a control that
// never shows.
constexpr bool takes_focus(Kind k) {
  return is_windowed(k);
}

// The controls that take the focus, in ascending tab index; stored order
// breaks a tie, and a control without a tab index is left out.
std::vector<ControlId> focus_order(const Layout& layout);

// Where Tab (or Shift+Tab, `backward`) moves the focus from `current`: the
// next control of `order` in that direction that `can_focus` accepts,
// wrapping around at either end. From no control, or one outside the order,
// Tab starts at the first and Shift+Tab at the last. Returns `current` itself
// when no other control can take the focus, and nothing when none can.
std::optional<ControlId> next_focus(std::span<const ControlId> order,
                                    std::optional<ControlId> current, bool backward,
                                    const std::function<bool(ControlId)>& can_focus = {});

}  // namespace tav
