#include "platform/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tav {

int twips_to_pixels(double twips, double scale) {
  // Saturates rather than overflowing; NaN gives 0.
  const double px = std::round(twips / kTwipsPerPixel * scale);
  if (std::isnan(px)) return 0;
  return static_cast<int>(std::clamp(px, static_cast<double>(std::numeric_limits<int>::min()),
                                     static_cast<double>(std::numeric_limits<int>::max())));
}

double pixels_to_twips(double pixels, double scale) {
  return pixels * kTwipsPerPixel / scale;
}

std::optional<ControlId> find_control(const Layout& layout, std::string_view name,
                                      std::int16_t index) {
  for (ControlId i = 0; i < layout.controls.size(); ++i) {
    const ControlRecord& c = layout.controls[i];
    if (c.name == name && c.index == index) return i;
  }
  return std::nullopt;
}

std::optional<ControlId> container_of(const Layout& layout, ControlId id) {
  const ControlRecord& c = layout.controls[id];
  if (c.container.empty()) return std::nullopt;
  return find_control(layout, c.container, c.container_index);
}

std::vector<ControlId> stacking_order(const Layout& layout, std::optional<ControlId> container) {
  std::vector<ControlId> labels;
  std::vector<ControlId> windowed;
  for (ControlId i = 0; i < layout.controls.size(); ++i) {
    if (container_of(layout, i) != container) continue;
    const Kind k = layout.controls[i].kind;
    if (k == Kind::Inet) continue;
    (is_windowed(k) ? windowed : labels).push_back(i);
  }
  // Stored first lies on top, so bottom-to-top is the reverse stored order.
  std::vector<ControlId> order(labels.rbegin(), labels.rend());
  order.insert(order.end(), windowed.rbegin(), windowed.rend());
  return order;
}

}  // namespace tav
