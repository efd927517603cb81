#pragma once
// A window's stored layout as data: the form's own settings and one record per
// control, in stored order. Positions and sizes are twips measured from the
// container's inner top-left corner. A backend builds native controls from
// these records; nothing here names a particular window.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tav {

enum class Kind : std::uint8_t { CommandButton, Label, PictureBox, WebBrowser, Inet };

// Whether a kind of control has a window of its own. Labels (and the
// invisible Inet control) are drawn on their container's surface instead.
constexpr bool is_windowed(Kind k) {
  return k == Kind::CommandButton || k == Kind::PictureBox || k == Kind::WebBrowser;
}

struct FontSpec {
  std::string_view name;
  float points = 0;
  int weight = 400;
  int charset = 0;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
};

// An OLE colour as stored: 0x00BBGGRR, or 0x800000nn for system colour nn.
struct Colour {
  std::uint32_t value = 0;
  static constexpr Colour rgb(int r, int g, int b) {
    return {static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 |
            static_cast<std::uint32_t>(b) << 16};
  }
  static constexpr Colour system(int index) {
    return {0x80000000u | static_cast<std::uint32_t>(index)};
  }
  constexpr bool is_system() const { return (value & 0x80000000u) != 0; }
  constexpr int system_index() const { return static_cast<int>(value & 0xFFu); }
  constexpr int red() const { return static_cast<int>(value & 0xFF); }
  constexpr int green() const { return static_cast<int>(value >> 8 & 0xFF); }
  constexpr int blue() const { return static_cast<int>(value >> 16 & 0xFF); }
  friend constexpr bool operator==(Colour, Colour) = default;
};

// A picture stored with the layout: the bytes of an uncompressed BMP file.
using PictureData = std::span<const std::uint8_t>;

inline constexpr std::int16_t kNoIndex = -1;

struct ControlRecord {
  std::string_view name;
  std::int16_t index;  // member index within a control array, or kNoIndex
  Kind kind;
  // Name (and index) of the container; an empty name is the form itself.
  std::string_view container;
  std::int16_t container_index;
  int left, top, width, height;
  std::string_view caption;
  const FontSpec* font;  // nullptr: the window's default font
  std::optional<Colour> fore;
  std::optional<Colour> back;
  int tab_index;          // -1: none
  std::string_view link;  // a link label's link address
  PictureData (*picture)();
};

enum class BorderStyle : std::uint8_t { Sizable, FixedSingle };

struct FormRecord {
  std::string_view name;
  std::string_view caption;
  int client_left, client_top, client_width, client_height;
  std::optional<Colour> back;
  PictureData (*icon)();  // an .ico file, or nullptr for none
  BorderStyle border;
  std::string_view link_topic;
};

struct Layout {
  FormRecord form;
  std::span<const ControlRecord> controls;
};

// Index of a control within its layout's record list.
using ControlId = std::size_t;

}  // namespace tav
