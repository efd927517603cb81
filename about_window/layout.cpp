// Stored layout of the about window, in stored order.
#include "about_window/frmabout.h"
#include "links/sites.h"
#include "resources/resources.h"

namespace tavrino {

namespace {

using tav::Colour;
using tav::Kind;
constexpr tav::FontSpec kComic1425{"Comic Sans MS", 14.25f};
constexpr tav::FontSpec kComic1575{"Comic Sans MS", 15.75f};
constexpr auto N = tav::kNoIndex;

constexpr const char* kAboutText =
    "This software is developed by Mr. Orlavi for Dovrent to let the user(s) to have an easy way "
    "of typing in Nepali. This software is designed to let the user(s) to type in Nepali easily "
    "without having any previous knowledge of keyboard setting in Nepali Fonts and no need to "
    "Install Nepali Fonts as well.  The new version of the Tavrino software will be out with more "
    "features in near future.";

// clang-format off
const tav::ControlRecord kControls[] = {
//  name        index kind                  container      left  top   width height caption                  font         fore                     back                  tab link                   picture
  {"Picture1", N, Kind::PictureBox,    "", N,           -240, -240, 7695, 7575, {},                      nullptr,     {},                      {},                    0, {},                    &res::about_bmp},
  {"Command1", N, Kind::CommandButton, "Picture1", N,   3120, 7200, 1335,  360, "Close",                 &kComic1425, {},                      Colour::system(24),    3, {},                    nullptr},
  {"Label3",   N, Kind::Label,         "Picture1", N,   3120,  240, 1455,  255, "Press F1 For Help",     nullptr,     {},                      {},                    4, {},                    nullptr},
  {"lblURL",   1, Kind::Label,         "Picture1", N,   1440, 6720, 4335,  495, "Tavrino, Dovrent Team", &kComic1575, Colour::rgb(64, 0, 64), {},                    2, TAVRINO_MAKER_SITE "/", nullptr},
  {"Label1",   N, Kind::Label,         "Picture1", N,    480,  600, 7095, 6255, kAboutText,              &kComic1575, {},                      {},                    1, {},                    nullptr},
};
// clang-format on

}  // namespace

const tav::Layout frmabout::kLayout{.form = {.name = "frmabout",
                                             .caption = "About - Tavrino 1.5",
                                             .client_left = 0,
                                             .client_top = 0,
                                             .client_width = 7320,
                                             .client_height = 7335,
                                             .back = {},
                                             .icon = nullptr,
                                             .border = tav::BorderStyle::FixedSingle,
                                             .link_topic = "Form2"},
                                    .controls = kControls};

}  // namespace tavrino
