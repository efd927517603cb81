// Stored layout of the updates window, in stored order.
#include "resources/resources.h"
#include "updates_window/Form1.h"

namespace tavrino {

namespace {

using res::strip_h_bmp;
using res::strip_v_bmp;
using tav::Colour;
using tav::Kind;
constexpr tav::FontSpec kComicTitle{"Comic Sans MS", 15.75f, 700};
constexpr tav::FontSpec kComic9{"Comic Sans MS", 9.0f};
constexpr tav::FontSpec kComic825{"Comic Sans MS", 8.25f};
constexpr auto N = tav::kNoIndex;
constexpr auto kBlue = Colour::rgb(0, 0, 255);

// clang-format off
const tav::ControlRecord kControls[] = {
//  name           index kind               container       left  top   width height caption                          font          fore                     back tab link                   picture
  {"Picture2",    1, Kind::PictureBox, "", N,           6240,  480,  495, 4215, {},                              nullptr,      {},                      {},  4,  {},                    &strip_v_bmp},
  {"Picture2",    0, Kind::PictureBox, "", N,              0,  480,  495, 4215, {},                              nullptr,      {},                      {},  3,  {},                    &strip_v_bmp},
  {"Picture1",    1, Kind::PictureBox, "", N,              0,    0, 6735,  495, {},                              nullptr,      {},                      {},  2,  {},                    &strip_h_bmp},
  {"Label1",      N, Kind::Label,      "Picture1", 1,   1800,    0, 3495,  495, "Tavrino V 1.5",                 &kComicTitle, Colour::rgb(255, 0, 0),  {},  5,  {},                    nullptr},
  {"WebBrowser2", N, Kind::WebBrowser, "", N,            480,  480, 5775, 4215, {},                              nullptr,      {},                      {},  0,  {},                    nullptr},
  {"Picture1",    0, Kind::PictureBox, "", N,              0, 4680, 6735,  495, {},                              nullptr,      {},                      {},  1,  {},                    &strip_h_bmp},
  {"Label3",      N, Kind::Label,      "Picture1", 0,    240,  120, 1815,  255, "Click here to close",           &kComic9,     kBlue,                   {},  7,  {},                    nullptr},
  {"Label2",      1, Kind::Label,      "Picture1", 0,   4200,  120, 2535,  255, "Click Here for More Softwares", &kComic825,   kBlue,                   {},  6,  TAVRINO_MAKER_SITE "/", nullptr},
};
// clang-format on

}  // namespace

const tav::Layout Form1::kLayout{.form = {.name = "Form1",
                                          .caption = "Form1",
                                          .client_left = 0,
                                          .client_top = 0,
                                          .client_width = 6720,
                                          .client_height = 5115,
                                          .back = {},
                                          .icon = nullptr,
                                          .border = tav::BorderStyle::FixedSingle,
                                          .link_topic = "Form1"},
                                 .controls = kControls};

}  // namespace tavrino
