// Writes the three windows' layout tables as JSON, for the scripts that
// drive the program from outside (end-to-end tests, benchmarks, the run
// script): they click and look at places computed from the same tables the
// program is built from, never from copies.
//
// usage: layout_facts OUTPUT.json
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "about_window/frmabout.h"
#include "main_window/frmDownloadDisplay.h"
#include "platform/geometry.h"
#include "updates_window/Form1.h"

namespace {

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string_view kind_name(tav::Kind k) {
  switch (k) {
    case tav::Kind::CommandButton:
      return "CommandButton";
    case tav::Kind::Label:
      return "Label";
    case tav::Kind::PictureBox:
      return "PictureBox";
    case tav::Kind::WebBrowser:
      return "WebBrowser";
    case tav::Kind::Inet:
      return "Inet";
  }
  return "";
}

std::string key(const tav::ControlRecord& c) {
  std::string k(c.name);
  if (c.index != tav::kNoIndex) k += "(" + std::to_string(c.index) + ")";
  return k;
}

std::string rect(int left, int top, int width, int height) {
  std::ostringstream s;
  s << "[" << left << ", " << top << ", " << width << ", " << height << "]";
  return s.str();
}

void write_window(std::ostream& out, const tav::Layout& layout) {
  const tav::FormRecord& f = layout.form;
  out << "    " << quoted(f.name) << ": {\n"
      << "      \"caption\": " << quoted(f.caption) << ",\n"
      << "      \"inner\": [" << f.client_width << ", " << f.client_height << "],\n"
      << "      \"controls\": {\n";
  for (tav::ControlId i = 0; i < layout.controls.size(); ++i) {
    const tav::ControlRecord& c = layout.controls[i];
    // The place within the window's inner area: a control inside a picture
    // box is measured from the box's corner.
    int left = c.left, top = c.top;
    for (auto box = tav::container_of(layout, i); box; box = tav::container_of(layout, *box)) {
      left += layout.controls[*box].left;
      top += layout.controls[*box].top;
    }
    out << "        " << quoted(key(c)) << ": {\"kind\": " << quoted(kind_name(c.kind))
        << ", \"caption\": " << quoted(c.caption) << ", \"tab_index\": " << c.tab_index
        << ", \"rect\": " << rect(c.left, c.top, c.width, c.height)
        << ", \"in_window\": " << rect(left, top, c.width, c.height) << "}"
        << (i + 1 < layout.controls.size() ? ",\n" : "\n");
  }
  out << "      }\n    }";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: layout_facts OUTPUT.json\n";
    return 2;
  }
  std::ostringstream out;
  out << "{\n  \"twips_per_pixel\": " << tav::kTwipsPerPixel << ",\n  \"windows\": {\n";
  write_window(out, tavrino::frmDownloadDisplay::kLayout);
  out << ",\n";
  write_window(out, tavrino::Form1::kLayout);
  out << ",\n";
  write_window(out, tavrino::frmabout::kLayout);
  out << "\n  }\n}\n";
  std::ofstream file(argv[1]);
  file << out.str();
  return file.good() ? 0 : 1;
}
