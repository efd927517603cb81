#pragma once
// Calls that every backend must answer alike, made through the runtime as an
// event procedure makes them, on a small window with a pane, a button and a
// label. Each backend's test runs the same table; a backend that answers
// differently from the others fails here.

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/runtime.h"

namespace tav::contract {

// clang-format off
inline const ControlRecord kControls[] = {
//  name      index     kind                container  left   top  width height caption  font     fore back tab link picture
  {"Pane",   kNoIndex, Kind::WebBrowser,    "", kNoIndex,    0,  150, 3000, 1500, {},      nullptr, {}, {},  0, {}, nullptr},
  {"Button", kNoIndex, Kind::CommandButton, "", kNoIndex,    0,    0, 1200,  150, "B",     nullptr, {}, {},  1, {}, nullptr},
  {"Label",  kNoIndex, Kind::Label,         "", kNoIndex, 1500,    0, 1200,  150, "L",     nullptr, {}, {},  2, {}, nullptr},
};
// clang-format on
inline const Layout kLayout{{.name = "Contract",
                             .caption = "Backend contract",
                             .client_left = 0,
                             .client_top = 0,
                             .client_width = 3000,
                             .client_height = 1650,
                             .back = {},
                             .icon = nullptr,
                             .border = BorderStyle::Sizable,
                             .link_topic = {}},
                            kControls};

class ContractForm final : public Form {
 public:
  explicit ContractForm(Runtime& rt) : Form(rt, kLayout) {}
};

// Runs one call; the run-time error number it raised, or 0.
inline int error_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.error().number;
  }
  return 0;
}

// Loads the window on `backend`, runs the table and unloads it again.
// Returns one line per call that answered other than expected.
inline std::vector<std::string> run(Backend& backend) {
  Runtime runtime(backend, {"Contract", "", nullptr});
  ContractForm form(runtime);
  std::vector<std::string> failures;
  if (const int e = error_of([&] { runtime.Show(form); })) {
    return {"the window does not load: error " + std::to_string(e)};
  }
  const Control pane = form.control("Pane");
  const Control label = form.control("Label");
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const auto max = static_cast<float>(kMaxSizeTwips);

  // Sizes: a number from 0 to the largest window-system size is taken, the
  // rest is an invalid property value, the same for width and height.
  const struct {
    const char* what;
    float twips;
    int error;
  } sizes[] = {
      {"0", 0, 0},
      {"4500", 4500, 0},
      {"the largest", max, 0},
      {"one pixel more", max + 15, 380},
      {"1e30", 1e30f, 380},
      {"-1", -1, 380},
      {"NaN", nan, 380},
      {"infinity", inf, 380},
  };
  for (const auto& c : sizes) {
    for (const bool width : {true, false}) {
      const int got = error_of([&] { width ? pane.set_Width(c.twips) : pane.set_Height(c.twips); });
      if (got != c.error) {
        failures.push_back(std::string(width ? "Width = " : "Height = ") + c.what + ": error " +
                           std::to_string(got) + ", expected " + std::to_string(c.error));
      }
    }
  }

  // Top reads the stored top as a number.
  try {
    const Variant top = pane.Top();
    const double* value = std::get_if<double>(&top);
    if (!value || *value != 150.0) failures.push_back("Top does not read the stored 150");
  } catch (const RuntimeError& e) {
    failures.push_back("Top fails: error " + std::to_string(e.error().number));
  }

  // Navigate returns at once; only a pane has the pane's members.
  const struct {
    const char* what;
    std::function<void()> call;
    int error;
  } calls[] = {
      {"Navigate", [&] { pane.Navigate("about:blank"); }, 0},
      {"Label.Navigate", [&] { label.Navigate("about:blank"); }, 438},
      {"Label.Width", [&] { label.set_Width(100); }, 438},
      {"Label.Top", [&] { (void)label.Top(); }, 438},
  };
  for (const auto& c : calls) {
    const int got = error_of(c.call);
    if (got != c.error) {
      failures.push_back(std::string(c.what) + ": error " + std::to_string(got) + ", expected " +
                         std::to_string(c.error));
    }
  }

  runtime.Unload(form);
  if (form.loaded()) failures.push_back("the window does not unload");
  return failures;
}

}  // namespace tav::contract
