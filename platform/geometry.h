#pragma once
// Layout geometry shared by every backend: containment, the stacking order of
// a container's children, and twips-to-pixel conversion.

#include <optional>
#include <vector>

#include "platform/layout.h"

namespace tav {

inline constexpr double kTwipsPerPixel = 15.0;  // at 96 dots per inch

// The largest width or height a control takes: 32767 pixels at 96 dots per
// inch, what every window system here can hold (X11 coordinates are 16-bit).
inline constexpr double kMaxSizeTwips = 32767 * kTwipsPerPixel;

// Whether a control can take this width or height: a number from 0 to the
// limit. NaN and infinities are not.
constexpr bool is_valid_size(double twips) {
  return twips >= 0 && twips <= kMaxSizeTwips;
}

// Pixels (at the given scale, 1.0 = 96 dpi) for a length in twips, rounded.
int twips_to_pixels(double twips, double scale = 1.0);
double pixels_to_twips(double pixels, double scale = 1.0);

// The control that contains `id`, or nullopt when the form contains it.
std::optional<ControlId> container_of(const Layout& layout, ControlId id);

// The children of a container (nullopt: the form) from bottom to top, as the
// runtime stacks them: labels lie beneath every windowed control, since they
// are drawn on the container's own surface; within each group the control
// stored first lies on top. Controls that never show (Inet) are left out.
std::vector<ControlId> stacking_order(const Layout& layout, std::optional<ControlId> container);

// The record of the named control (and member index), if the layout has it.
std::optional<ControlId> find_control(const Layout& layout, std::string_view name,
                                      std::int16_t index = kNoIndex);

}  // namespace tav
