#include "platform/bmp.h"

namespace tav {

namespace {

std::uint32_t read_le(PictureData d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
  return v;
}

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::int32_t kMaxSide = 32767;

}  // namespace

std::optional<BmpLayout> parse_bmp(PictureData d) {
  if (d.size() < kFileHeader + kInfoHeader || d[0] != 'B' || d[1] != 'M') return std::nullopt;
  const std::uint32_t offset = read_le(d, 10, 4);
  const std::uint32_t info_size = read_le(d, 14, 4);
  const auto width = static_cast<std::int32_t>(read_le(d, 18, 4));
  const auto raw_height = static_cast<std::int32_t>(read_le(d, 22, 4));
  const std::uint32_t planes = read_le(d, 26, 2);
  const std::uint32_t bpp = read_le(d, 28, 2);
  const std::uint32_t compression = read_le(d, 30, 4);
  if (info_size < kInfoHeader || planes != 1 || bpp != 24 || compression != 0) return std::nullopt;
  if (width <= 0 || width > kMaxSide || raw_height == 0 || raw_height > kMaxSide ||
      raw_height < -kMaxSide) {
    return std::nullopt;
  }
  BmpLayout b;
  b.width = width;
  b.height = raw_height > 0 ? raw_height : -raw_height;
  b.bottom_up = raw_height > 0;
  b.pixels_offset = offset;
  b.stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  // The pixels start after both headers and end within the file; the sizes
  // are bounded above, so none of this can overflow.
  if (offset < kFileHeader + info_size || offset > d.size()) return std::nullopt;
  if ((d.size() - offset) / b.stride < static_cast<std::size_t>(b.height)) return std::nullopt;
  return b;
}

}  // namespace tav
