// Checks the embedded pictures by reading their headers the way Windows and
// the GTK front end will.

#include "resources/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

namespace {

using tavrino::res::Bytes;

std::uint32_t u16(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t u32(Bytes b, std::size_t at) {
  return u16(b, at) | u16(b, at + 2) << 16;
}

std::int32_t i32(Bytes b, std::size_t at) {
  return static_cast<std::int32_t>(u32(b, at));
}

// The fields of a BITMAPINFOHEADER starting at `at`.
struct InfoHeader {
  std::uint32_t size;
  std::int32_t width;
  std::int32_t height;
  std::uint32_t planes;
  std::uint32_t bit_count;
  std::uint32_t compression;
  std::int32_t x_pels_per_meter;
  std::int32_t y_pels_per_meter;
};

InfoHeader read_info(Bytes b, std::size_t at) {
  return {u32(b, at),      i32(b, at + 4),  i32(b, at + 8),  u16(b, at + 12),
          u16(b, at + 14), u32(b, at + 16), i32(b, at + 24), i32(b, at + 28)};
}

std::size_t stride(std::int32_t width, std::uint32_t bits) {
  return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
}

// A 24-bit BMP file: header fields and access to its pixel rows, top first.
class Bmp {
 public:
  explicit Bmp(Bytes file) : file_(file), info_(read_info(file, 14)) {}

  const InfoHeader& info() const { return info_; }
  std::uint32_t file_size_field() const { return u32(file_, 2); }
  std::uint32_t pixel_offset() const { return u32(file_, 10); }
  int width() const { return info_.width; }
  int height() const { return info_.height; }

  // Row `y` counted from the top, without its padding. The file is stored
  // bottom-up (positive height).
  Bytes row(int y) const {
    const std::size_t s = stride(info_.width, info_.bit_count);
    const std::size_t from_bottom = static_cast<std::size_t>(info_.height - 1 - y);
    return file_.subspan(pixel_offset() + from_bottom * s,
                         static_cast<std::size_t>(info_.width) * 3);
  }

 private:
  Bytes file_;
  InfoHeader info_;
};

struct PictureCase {
  const char* name;
  Bytes (*data)();
  int width;
  int height;
  std::size_t file_size;
};

const PictureCase kPictures[] = {
    {"about", tavrino::res::about_bmp, 519, 612, 954774},
    {"strip_h", tavrino::res::strip_h_bmp, 519, 39, 60894},
    {"strip_v", tavrino::res::strip_v_bmp, 30, 395, 36394},
};

void PrintTo(const PictureCase& c, std::ostream* os) {
  *os << c.name;
}

class PictureTest : public testing::TestWithParam<PictureCase> {};

TEST_P(PictureTest, IsUncompressed24BitBmpAt96Dpi) {
  const PictureCase& c = GetParam();
  const Bytes file = c.data();
  ASSERT_EQ(file.size(), c.file_size);
  ASSERT_EQ(file[0], 'B');
  ASSERT_EQ(file[1], 'M');
  const Bmp bmp(file);
  EXPECT_EQ(bmp.file_size_field(), c.file_size);
  EXPECT_EQ(bmp.pixel_offset(), 54u);
  EXPECT_EQ(bmp.info().size, 40u);
  EXPECT_EQ(bmp.width(), c.width);
  EXPECT_EQ(bmp.height(), c.height);  // positive: bottom-up
  EXPECT_EQ(bmp.info().planes, 1u);
  EXPECT_EQ(bmp.info().bit_count, 24u);
  EXPECT_EQ(bmp.info().compression, 0u);
  EXPECT_EQ(bmp.info().x_pels_per_meter, 3780);
  EXPECT_EQ(bmp.info().y_pels_per_meter, 3780);
  // The pixel rows, padded to 4 bytes, fill the rest of the file exactly.
  EXPECT_EQ(54 + stride(c.width, 24) * static_cast<std::size_t>(c.height), c.file_size);
}

INSTANTIATE_TEST_SUITE_P(Resources, PictureTest, testing::ValuesIn(kPictures),
                         [](const testing::TestParamInfo<PictureCase>& i) {
                           return std::string(i.param.name);
                         });

bool same(Bytes a, Bytes b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

TEST(StripTest, StripsAreCutFromTheBackground) {
  struct Cut {
    const char* name;
    Bytes (*data)();
    int left;  // column of the background at the strip's left edge
    int top;   // row of the background at the strip's top edge
  };
  const Cut cuts[] = {
      {"strip_h", tavrino::res::strip_h_bmp, 0, 612 - 39},
      {"strip_v", tavrino::res::strip_v_bmp, 3, 217},
  };
  const Bmp about(tavrino::res::about_bmp());
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.name);
    const Bmp strip(cut.data());
    // The strip reaches the background's bottom edge.
    EXPECT_EQ(cut.top + strip.height(), about.height());
    ASSERT_LE(cut.left + strip.width(), about.width());
    const auto offset = static_cast<std::size_t>(cut.left) * 3;
    const auto len = static_cast<std::size_t>(strip.width()) * 3;
    for (int y = 0; y < strip.height(); ++y) {
      ASSERT_TRUE(same(strip.row(y), about.row(cut.top + y).subspan(offset, len))) << "row " << y;
    }
  }
}

// Average colour of a row as {blue, green, red}.
std::array<double, 3> average(Bytes row) {
  std::array<double, 3> sum{};
  for (std::size_t i = 0; i < row.size(); ++i) sum[i % 3] += row[i];
  for (double& v : sum) v /= static_cast<double>(row.size() / 3);
  return sum;
}

TEST(AboutPictureTest, TurquoiseSkyPalerTowardsTheBottom) {
  const Bmp about(tavrino::res::about_bmp());
  const auto top = average(about.row(0));
  const auto bottom = average(about.row(about.height() - 1));
  // Turquoise: green and blue well above red.
  EXPECT_GT(top[0], top[2] + 40);
  EXPECT_GT(top[1], top[2] + 40);
  // Near white at the bottom, and lighter than the top in every channel.
  for (int ch = 0; ch < 3; ++ch) {
    EXPECT_GT(bottom[ch], 200) << "channel " << ch;
    EXPECT_GT(bottom[ch], top[ch]) << "channel " << ch;
  }
}

TEST(AboutPictureTest, HasWhiteSparklesInTheUpperPart) {
  const Bmp about(tavrino::res::about_bmp());
  int white = 0;
  for (int y = 0; y < about.height() / 2; ++y) {
    const Bytes row = about.row(y);
    for (std::size_t x = 0; x + 2 < row.size(); x += 3) {
      if (row[x] > 240 && row[x + 1] > 240 && row[x + 2] > 240) ++white;
    }
  }
  EXPECT_GT(white, 50);
}

// The standard Windows 16-colour palette as BMP quads: blue, green, red, 0.
constexpr std::array<std::array<std::uint8_t, 4>, 16> kStandardPalette = {{
    {0x00, 0x00, 0x00, 0},
    {0x00, 0x00, 0x80, 0},
    {0x00, 0x80, 0x00, 0},
    {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0},
    {0x80, 0x00, 0x80, 0},
    {0x80, 0x80, 0x00, 0},
    {0xC0, 0xC0, 0xC0, 0},
    {0x80, 0x80, 0x80, 0},
    {0x00, 0x00, 0xFF, 0},
    {0x00, 0xFF, 0x00, 0},
    {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0},
    {0xFF, 0x00, 0xFF, 0},
    {0xFF, 0xFF, 0x00, 0},
    {0xFF, 0xFF, 0xFF, 0},
}};

constexpr int kRed = 9;
constexpr int kBlack = 0;

struct IconCase {
  int size;
  std::size_t bytes;
  Bytes (*image)();
};

const IconCase kIcons[] = {
    {32, 744, tavrino::res::icon_image_32},
    {16, 296, tavrino::res::icon_image_16},
};

TEST(IconTest, FileHoldsBothImagesInOrder) {
  const Bytes ico = tavrino::res::icon_file();
  ASSERT_GE(ico.size(), 6u + 2 * 16);
  EXPECT_EQ(u16(ico, 0), 0u);  // reserved
  EXPECT_EQ(u16(ico, 2), 1u);  // type: icon
  ASSERT_EQ(u16(ico, 4), 2u);  // two images
  std::size_t expected_offset = 6 + 2 * 16;
  for (std::size_t i = 0; i < 2; ++i) {
    const IconCase& c = kIcons[i];
    SCOPED_TRACE(c.size);
    const std::size_t e = 6 + i * 16;
    EXPECT_EQ(ico[e], c.size);       // width
    EXPECT_EQ(ico[e + 1], c.size);   // height
    EXPECT_EQ(ico[e + 2], 16);       // colours
    EXPECT_EQ(ico[e + 3], 0);        // reserved
    EXPECT_EQ(u16(ico, e + 4), 1u);  // planes
    EXPECT_EQ(u16(ico, e + 6), 4u);  // bits per pixel
    const std::size_t length = u32(ico, e + 8);
    const std::size_t offset = u32(ico, e + 12);
    EXPECT_EQ(length, c.bytes);
    EXPECT_EQ(offset, expected_offset);  // images follow the directory, packed
    ASSERT_LE(offset + length, ico.size());
    EXPECT_TRUE(same(ico.subspan(offset, length), c.image()));
    expected_offset = offset + length;
  }
  EXPECT_EQ(expected_offset, ico.size());
}

void PrintTo(const IconCase& c, std::ostream* os) {
  *os << c.size << "x" << c.size;
}

class IconImageTest : public testing::TestWithParam<IconCase> {};

TEST_P(IconImageTest, IsA16ColourImageWithTheStandardPalette) {
  const IconCase& c = GetParam();
  const Bytes img = c.image();
  ASSERT_EQ(img.size(), c.bytes);
  const InfoHeader info = read_info(img, 0);
  EXPECT_EQ(info.size, 40u);
  EXPECT_EQ(info.width, c.size);
  EXPECT_EQ(info.height, 2 * c.size);  // XOR bitmap plus AND mask
  EXPECT_EQ(info.planes, 1u);
  EXPECT_EQ(info.bit_count, 4u);
  EXPECT_EQ(info.compression, 0u);
  EXPECT_EQ(
      40 + 16 * 4 + (stride(c.size, 4) + stride(c.size, 1)) * static_cast<std::size_t>(c.size),
      c.bytes);
  for (std::size_t i = 0; i < 16; ++i) {
    const Bytes quad = img.subspan(40 + 4 * i, 4);
    EXPECT_TRUE(same(quad, kStandardPalette[i])) << "palette entry " << i;
  }
}

TEST_P(IconImageTest, ShowsARedOutlinedPictureOnATransparentBackground) {
  const IconCase& c = GetParam();
  const Bytes img = c.image();
  const std::size_t xor_stride = stride(c.size, 4);
  const std::size_t and_stride = stride(c.size, 1);
  const Bytes xor_bits = img.subspan(40 + 64, xor_stride * static_cast<std::size_t>(c.size));
  const Bytes and_bits = img.subspan(40 + 64 + xor_bits.size());
  ASSERT_EQ(and_bits.size(), and_stride * static_cast<std::size_t>(c.size));

  int transparent = 0;
  std::array<int, 16> opaque{};
  for (int y = 0; y < c.size; ++y) {
    for (int x = 0; x < c.size; ++x) {
      const auto ux = static_cast<std::size_t>(x);
      const auto uy = static_cast<std::size_t>(y);
      const std::uint8_t pair = xor_bits[uy * xor_stride + ux / 2];
      const int index = (x % 2 == 0) ? pair >> 4 : pair & 0x0F;
      const bool masked = (and_bits[uy * and_stride + ux / 8] >> (7 - ux % 8)) & 1;
      if (masked) {
        ++transparent;
        // Where the mask lets the screen through, the image adds nothing.
        EXPECT_EQ(index, 0) << "x " << x << " y " << y;
      } else {
        ++opaque[static_cast<std::size_t>(index)];
      }
    }
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque[kRed], c.size * c.size / 8);  // mostly a red cover
  EXPECT_GT(opaque[kBlack], c.size);             // with a black outline
  // Padding bits beyond the picture's width stay clear in every row.
  for (std::size_t y = 0; y < static_cast<std::size_t>(c.size); ++y) {
    for (std::size_t b = static_cast<std::size_t>(c.size) / 2; b < xor_stride; ++b) {
      EXPECT_EQ(xor_bits[y * xor_stride + b], 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Resources, IconImageTest, testing::ValuesIn(kIcons),
                         [](const testing::TestParamInfo<IconCase>& i) {
                           return "Size" + std::to_string(i.param.size);
                         });

}  // namespace
