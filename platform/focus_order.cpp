#include "platform/focus_order.h"

#include <algorithm>

namespace tav {

std::vector<ControlId> focus_order(const Layout& layout) {
  std::vector<ControlId> order;
  for (ControlId i = 0; i < layout.controls.size(); ++i) {
    const ControlRecord& c = layout.controls[i];
    if (takes_focus(c.kind) && c.tab_index >= 0) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](ControlId a, ControlId b) {
    return layout.controls[a].tab_index < layout.controls[b].tab_index;
  });
  return order;
}

std::optional<ControlId> next_focus(std::span<const ControlId> order,
                                    std::optional<ControlId> current, bool backward,
                                    const std::function<bool(ControlId)>& can_focus) {
  const std::size_t n = order.size();
  if (n == 0) return std::nullopt;
  const auto at = current ? std::find(order.begin(), order.end(), *current) : order.end();
  // Start one step before the first candidate, so that the loop below visits
  // every other control once and the current one last.
  std::size_t pos =
      at != order.end() ? static_cast<std::size_t>(at - order.begin()) : (backward ? 0 : n - 1);
  for (std::size_t step = 0; step < n; ++step) {
    pos = backward ? (pos + n - 1) % n : (pos + 1) % n;
    if (!can_focus || can_focus(order[pos])) return order[pos];
  }
  return std::nullopt;
}

}  // namespace tav
