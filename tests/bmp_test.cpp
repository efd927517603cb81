// The one check both native backends make before drawing a stored picture.
#include "platform/bmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "resources/resources.h"

namespace tav {
namespace {

void put_le(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) f[at + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
}

// A well-formed 24-bit BMP file of w x h pixels (h < 0: rows stored top first).
std::vector<std::uint8_t> bmp_file(int w, int h) {
  const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
  const std::size_t rows = static_cast<std::size_t>(h < 0 ? -h : h);
  std::vector<std::uint8_t> f(54 + stride * rows);
  f[0] = 'B';
  f[1] = 'M';
  put_le(f, 2, static_cast<std::uint32_t>(f.size()), 4);
  put_le(f, 10, 54, 4);
  put_le(f, 14, 40, 4);
  put_le(f, 18, static_cast<std::uint32_t>(w), 4);
  put_le(f, 22, static_cast<std::uint32_t>(h), 4);
  put_le(f, 26, 1, 2);
  put_le(f, 28, 24, 2);
  return f;
}

TEST(Bmp, TheStoredPicturesPass) {
  for (auto picture :
       {tavrino::res::about_bmp, tavrino::res::strip_h_bmp, tavrino::res::strip_v_bmp}) {
    const auto bmp = parse_bmp(picture());
    ASSERT_TRUE(bmp);
    EXPECT_TRUE(bmp->bottom_up);
    EXPECT_EQ(bmp->pixels_offset, 54u);
  }
}

TEST(Bmp, RowsCountFromTheTopEitherWay) {
  const std::vector<std::uint8_t> up = bmp_file(2, 3), down = bmp_file(2, -3);
  const auto a = parse_bmp(up), b = parse_bmp(down);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->stride, 8u);  // 6 bytes padded to 4
  EXPECT_EQ(a->row(0), 54u + 16);
  EXPECT_EQ(b->row(0), 54u);
  EXPECT_EQ(b->height, 3);
}

TEST(Bmp, RefusesWhatIsNotAWholeUncompressed24BitFile) {
  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
  } cases[] = {
      {"one byte short", [](auto& f) { f.pop_back(); }},
      {"only the headers", [](auto& f) { f.resize(54); }},
      {"shorter than the headers", [](auto& f) { f.resize(40); }},
      {"another signature", [](auto& f) { f[1] = 'A'; }},
      {"8 bits per pixel", [](auto& f) { put_le(f, 28, 8, 2); }},
      {"compressed", [](auto& f) { put_le(f, 30, 1, 4); }},
      {"two planes", [](auto& f) { put_le(f, 26, 2, 2); }},
      {"an old, shorter info header", [](auto& f) { put_le(f, 14, 12, 4); }},
      {"no width", [](auto& f) { put_le(f, 18, 0, 4); }},
      {"negative width", [](auto& f) { put_le(f, 18, 0xFFFFFFFF, 4); }},
      {"no height", [](auto& f) { put_le(f, 22, 0, 4); }},
      {"a side beyond 32767", [](auto& f) { put_le(f, 18, 40000, 4); }},
      {"the most negative height", [](auto& f) { put_le(f, 22, 0x80000000, 4); }},
      {"pixels inside the headers", [](auto& f) { put_le(f, 10, 20, 4); }},
      {"pixels beyond the end", [](auto& f) { put_le(f, 10, 0xFFFFFFF0, 4); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> f = bmp_file(5, 4);
    ASSERT_TRUE(parse_bmp(f));
    c.damage(f);
    EXPECT_FALSE(parse_bmp(f));
  }
}

}  // namespace
}  // namespace tav
