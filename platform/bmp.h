#pragma once
// The one check of a picture stored with a layout: an uncompressed 24-bit BMP
// file whose header agrees with its own length. Both native backends draw
// only what passes it.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/layout.h"

namespace tav {

struct BmpLayout {
  int width = 0;
  int height = 0;                 // rows, positive
  bool bottom_up = true;          // the first stored row is the bottom one
  std::size_t info_offset = 14;   // where the BITMAPINFOHEADER starts
  std::size_t pixels_offset = 0;  // where the first stored row starts
  std::size_t stride = 0;         // bytes per stored row, padded to 4

  // Offset of the first byte of row y, counted from the top.
  std::size_t row(int y) const {
    const auto r = static_cast<std::size_t>(bottom_up ? height - 1 - y : y);
    return pixels_offset + r * stride;
  }
};

// The file's layout, or nullopt when it is not such a file: wrong signature,
// another format or depth, compressed, empty or beyond 32767 pixels a side,
// or shorter than its header says.
std::optional<BmpLayout> parse_bmp(PictureData file);

}  // namespace tav
