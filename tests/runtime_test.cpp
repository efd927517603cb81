// The runtime's own rules: numbers, texts, command lines, stacking and the
// event dispatch, independent of the program's windows.
#include "platform/runtime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/command_line.h"
#include "platform/geometry.h"
#include "platform/headless/headless_backend.h"
#include "tests/backend_contract.h"

namespace tav {
namespace {

TEST(SingleDifference, RaisesOnInvalidDivideByZeroAndOverflowOnly) {
  const float inf = std::numeric_limits<float>::infinity();
  const float max = std::numeric_limits<float>::max();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    float minuend;
    Variant subtrahend;
    int error;  // 0: none
    float result;
  } cases[] = {
      {11145, 0.0, 0, 11145},
      {11145, 100.0, 0, 11045},
      {100, 11145.0, 0, -11045},  // negative differences are not clamped
      {0, 0.0, 0, 0},
      {1e-38f, 1.5e-38, 0, -5e-39f},  // underflow to a denormal is no failure
      {1, 1e-10, 0, 1},               // inexact is no failure
      {max, -max, 6, 0},              // beyond single range
      {-max, static_cast<double>(max), 6, 0},
      {5, nan, 6, 0},  // invalid operation
      {std::nanf(""), 0.0, 6, 0},
      {inf, 0.0, 6, 0},
      {inf, static_cast<double>(inf), 6, 0},  // inf - inf is invalid
      {1, 1e39, 6, 0},                        // the conversion of Top overflows
      {1, std::string("12"), 0, -11},
      {1, std::string("twelve"), 13, 0},
      {1, Variant(), 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.minuend << " case result " << c.result);
    if (c.error == 0) {
      EXPECT_FLOAT_EQ(single_difference(c.minuend, c.subtrahend), c.result);
    } else {
      try {
        single_difference(c.minuend, c.subtrahend);
        ADD_FAILURE() << "no error";
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.error().number, c.error);
      }
    }
  }
}

TEST(Trim, RemovesSpacesAtTheEndsOnly) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},           {"   ", ""},        {" a ", "a"}, {"a  b", "a  b"},
      {"\ta\t", "\ta\t"}, {"  a b  ", "a b"}, {"x", "x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Trim(in), out) << '"' << in << '"';
}

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  using V = std::vector<std::string>;
  const std::pair<std::string_view, V> cases[] = {
      {"explorer http://maker/", {"explorer", "http://maker/"}},
      {"explorer ", {"explorer"}},
      {"start.exe http://maker/tavrino.html", {"start.exe", "http://maker/tavrino.html"}},
      {"explorer http://maker/a b", {"explorer", "http://maker/a", "b"}},
      {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},    // 2n+1 backslashes: n and a quote
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},  // 2n backslashes: n and quoting
      {"p a\\b", {"p", "a\\b"}},
      {"p \"a\"\"b\"", {"p", "a\"b"}},
      {"", {""}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(split_command_line(line), words) << line;
}

TEST(Geometry, TwipsToPixelsAt96DotsPerInch) {
  EXPECT_EQ(twips_to_pixels(14025), 935);
  EXPECT_EQ(twips_to_pixels(11145), 743);
  EXPECT_EQ(twips_to_pixels(-240), -16);
  EXPECT_EQ(twips_to_pixels(6735), 449);
  EXPECT_EQ(twips_to_pixels(6735, 2.0), 898);
  EXPECT_EQ(twips_to_pixels(1e30), std::numeric_limits<int>::max());
  EXPECT_EQ(twips_to_pixels(-1e30), std::numeric_limits<int>::min());
  EXPECT_EQ(twips_to_pixels(std::nan("")), 0);
}

// A window with a label under a button under a pane, all overlapping.
const ControlRecord kStack[] = {
    {"Button",
     kNoIndex,
     Kind::CommandButton,
     "",
     kNoIndex,
     0,
     0,
     100,
     100,
     "b",
     nullptr,
     {},
     {},
     1,
     {},
     nullptr},
    {"Label",
     kNoIndex,
     Kind::Label,
     "",
     kNoIndex,
     0,
     0,
     300,
     300,
     "l",
     nullptr,
     {},
     {},
     2,
     {},
     nullptr},
    {"Pane",
     kNoIndex,
     Kind::WebBrowser,
     "",
     kNoIndex,
     0,
     0,
     200,
     200,
     {},
     nullptr,
     {},
     {},
     0,
     {},
     nullptr},
    {"Inet", kNoIndex, Kind::Inet, "", kNoIndex, 0, 0, 0, 0, {}, nullptr, {}, {}, -1, {}, nullptr},
    {"Box",
     kNoIndex,
     Kind::PictureBox,
     "",
     kNoIndex,
     400,
     0,
     100,
     100,
     {},
     nullptr,
     {},
     {},
     3,
     {},
     nullptr},
    {"Inner",
     kNoIndex,
     Kind::Label,
     "Box",
     kNoIndex,
     10,
     10,
     500,
     20,
     "i",
     nullptr,
     {},
     {},
     4,
     {},
     nullptr},
};
const Layout kStackLayout{
    {"Stack", "Stack", 0, 0, 1000, 1000, {}, nullptr, BorderStyle::Sizable, {}}, kStack};

TEST(Geometry, LabelsLieBeneathWindowedControlsAndStoredFirstLiesOnTop) {
  EXPECT_EQ(stacking_order(kStackLayout, std::nullopt), (std::vector<ControlId>{1, 4, 2, 0}));
  EXPECT_EQ(stacking_order(kStackLayout, ControlId{4}), (std::vector<ControlId>{5}));
}

// A window whose procedures record what the dispatch does.
class Probe final : public Form {
 public:
  static constexpr std::string_view class_name = "Probe";
  static inline std::vector<std::string> log;
  explicit Probe(Runtime& rt) : Form(rt, kStackLayout) {}
  void Form_Load() override {
    log.push_back("load");
    runtime().clicked(window(), 5);  // raised while the window loads
  }
  void Form_Resize() override { log.push_back("resize"); }
  void Click(std::string_view control, const std::int16_t&) override {
    log.push_back("click " + std::string(control));
    if (control == "Button") {
      // An event raised while a procedure runs waits for it to finish.
      runtime().clicked(window(), 4);
      log.push_back("button done");
    }
    if (control == "Box") throw RuntimeError(err::file_not_found());
    if (control == "Label") throw std::bad_alloc();
    if (control == "Pane") throw std::logic_error("not a run-time error");
  }
};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    Probe::log.clear();
    ASSERT_EQ(runtime.start(), 0);
    window = backend.find("Stack")->id;
  }
  HeadlessBackend backend;
  Runtime runtime{backend,
                  {"Probe title", "http://help/", [](Runtime& rt) -> std::unique_ptr<Form> {
                     return std::make_unique<Probe>(rt);
                   }}};
  WindowId window = 0;
};

TEST_F(Dispatch, EventsRaisedWhileAProcedureRunsWaitForItInOrder) {
  // Start-up counts as a procedure too: the click raised by the Load
  // procedure and the first Resize run after the window has been shown.
  backend.click(window, 0);
  EXPECT_EQ(Probe::log, (std::vector<std::string>{"load", "click Inner", "resize", "click Button",
                                                  "button done", "click Box"}));
}

TEST_F(Dispatch, AnyFailureLeavingAProcedureIsReportedAndTheProgramGoesOn) {
  backend.click(window, 4);    // a run-time error
  backend.click(window, 1);    // out of memory
  runtime.clicked(window, 2);  // any other failure
  ASSERT_EQ(backend.reports().size(), 3u);
  for (const auto& r : backend.reports()) EXPECT_EQ(r.title, "Probe title");
  EXPECT_EQ(backend.reports()[0].error, err::file_not_found());
  EXPECT_EQ(backend.reports()[1].error, err::out_of_memory());
  EXPECT_EQ(backend.reports()[2].error, err::internal_error());
  backend.resize(window, {10, 10});
  EXPECT_EQ(Probe::log.back(), "resize");
  EXPECT_EQ(runtime.loaded_windows(), 1u);
}

TEST_F(Dispatch, EventsForAnUnloadedWindowAreIgnored) {
  backend.close(window);
  EXPECT_TRUE(backend.quit_requested());
  runtime.clicked(window, 0);
  runtime.inner_size_changed(window, {1, 1});
  EXPECT_EQ(Probe::log, (std::vector<std::string>{"load", "click Inner", "resize"}));
}

TEST(BackendContract, HeadlessAnswersAsEveryBackendDoes) {
  HeadlessBackend backend;
  EXPECT_THAT(contract::run(backend), ::testing::IsEmpty());
}

TEST(Shell, RefusesAnUnknownWindowStyle) {
  HeadlessBackend backend;
  Runtime runtime{backend, {"t", "", nullptr}};
  EXPECT_THROW(runtime.Shell("explorer x", 7), RuntimeError);
  EXPECT_EQ(runtime.Shell("explorer x", 3), 1000);
  EXPECT_TRUE(backend.launches().size() == 1);
}

}  // namespace
}  // namespace tav
