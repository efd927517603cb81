// Stored layout of the main typing window, in stored order.
#include "main_window/frmDownloadDisplay.h"
#include "resources/resources.h"

namespace tavrino {

namespace {

using tav::Colour;
using tav::Kind;
constexpr tav::FontSpec kComic9{"Comic Sans MS", 9.0f};
constexpr tav::FontSpec kComic825{"Comic Sans MS", 8.25f};
constexpr auto N = tav::kNoIndex;

// clang-format off
const tav::ControlRecord kControls[] = {
//  name           index kind                container  left   top    width  height caption                         font        fore                   back  tab  link picture
  {"Command2",    N, Kind::CommandButton, "", N,    9840, 10800,  1335,   375, "About",                        &kComic9,   {},                    {},   4,   {},  nullptr},
  {"Command1",    N, Kind::CommandButton, "", N,   11280, 10800,  1335,   375, "Update",                       &kComic825, {},                    {},   3,   {},  nullptr},
  {"Command6",    N, Kind::CommandButton, "", N,   12600, 10800,  1455,   375, "Exit",                         &kComic9,   {},                    {},   1,   {},  nullptr},
  {"WebBrowser1", N, Kind::WebBrowser,    "", N,       0,     0, 14055, 11175, {},                             nullptr,    {},                    {},   0,   {},  nullptr},
  {"Inet1",       N, Kind::Inet,          "", N,     240,  5760,     0,     0, {},                             nullptr,    {},                    {},  -1,   {},  nullptr},
  {"Label3",      N, Kind::Label,         "", N,   11160, 11040,  3135,   255, "Developed by Orlavi, Dovrent", nullptr,    Colour::rgb(0, 0, 255), {},  2,   {},  nullptr},
};
// clang-format on

}  // namespace

const tav::Layout frmDownloadDisplay::kLayout{.form = {.name = "frmDownloadDisplay",
                                                       .caption = "Tavrino 1.5",
                                                       .client_left = 3000,
                                                       .client_top = 1995,
                                                       .client_width = 14025,
                                                       .client_height = 11145,
                                                       .back = Colour::rgb(192, 192, 192),
                                                       .icon = &res::icon_file,
                                                       .border = tav::BorderStyle::Sizable,
                                                       .link_topic = {}},
                                              .controls = kControls};

}  // namespace tavrino
