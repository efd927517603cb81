#pragma once
// The whole program started on the headless backend, with helpers to find
// its windows and click their controls by name.

#include <gtest/gtest.h>

#include <string>

#include "app/project.h"
#include "platform/geometry.h"
#include "platform/headless/headless_backend.h"

namespace tavrino::testing {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(runtime.start(), 0); }

  // The loaded window of that class; 0 when it is not loaded.
  tav::WindowId id(std::string_view form) const {
    const auto* w = backend.find(form);
    return w ? w->id : 0;
  }
  const tav::HeadlessBackend::Window& win(std::string_view form) const {
    const auto* w = backend.find(form);
    if (!w) throw std::runtime_error("window not loaded: " + std::string(form));
    return *w;
  }
  void click(std::string_view form, std::string_view control, std::int16_t index = tav::kNoIndex) {
    backend.click(id(form), control, index);
  }
  tav::ControlId control_id(std::string_view form, std::string_view control,
                            std::int16_t index = tav::kNoIndex) const {
    return *tav::find_control(*win(form).layout, control, index);
  }
  tav::RectTwips rect(std::string_view form, std::string_view control,
                      std::int16_t index = tav::kNoIndex) const {
    return win(form).rects[control_id(form, control, index)];
  }
  // Pages navigated so far, in order.
  std::vector<std::string> pages() const {
    std::vector<std::string> urls;
    for (const auto& n : backend.navigations()) urls.push_back(n.url);
    return urls;
  }

  tav::HeadlessBackend backend;
  tav::Runtime runtime{backend, project_info()};
};

inline const std::string kTypingPage = TAVRINO_PRODUCT_SITE "/1.5/encrypted.html";
inline const std::string kUpdatesPage = TAVRINO_PRODUCT_SITE "/1.5/updates.html";
inline const std::string kMakerRoot = TAVRINO_MAKER_SITE "/";
inline const std::string kCredit = "start.exe " TAVRINO_MAKER_SITE "/tavrino.html";

}  // namespace tavrino::testing
