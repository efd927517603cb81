#pragma once
// The program's pictures, embedded at build time: the icon, the about
// window's picture and the updates window's two strips. resources/generate.py
// draws them; each function returns the bytes of one whole file.

#include <cstdint>
#include <span>

namespace tavrino::res {

using Bytes = std::span<const std::uint8_t>;

Bytes icon_file();      // .ico file: 32x32 then 16x16, 16 colours
Bytes icon_image_32();  // the 744-byte icon image (header, palette, XOR, AND)
Bytes icon_image_16();  // the 296-byte icon image
Bytes about_bmp();      // 519 x 612, 24-bit BMP file
Bytes strip_h_bmp();    // 519 x 39, the horizontal strip picture
Bytes strip_v_bmp();    // 30 x 395, the vertical strip picture

}  // namespace tavrino::res
