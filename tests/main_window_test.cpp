// The main typing window on the headless backend: start-up and page load,
// resize, the three commands and the credit label.
#include <cmath>
#include <limits>

#include "tests/program_fixture.h"

namespace tavrino::testing {
namespace {

using tav::RectTwips;
using tav::SizeTwips;

class MainWindow : public ProgramTest {};

TEST_F(MainWindow, StartsWithTheTypingPageLoadedAndTheWindowShown) {
  const auto& w = win("frmDownloadDisplay");
  EXPECT_TRUE(w.visible);
  EXPECT_EQ(w.layout->form.caption, "Tavrino 1.5");
  ASSERT_NE(w.layout->form.icon, nullptr);
  EXPECT_EQ(pages(), std::vector<std::string>{kTypingPage});
  EXPECT_EQ(backend.navigations()[0].pane, control_id("frmDownloadDisplay", "WebBrowser1"));
  // A plain HTTP address: no port, query or fragment.
  EXPECT_TRUE(kTypingPage.starts_with("http://"));
  EXPECT_EQ(kTypingPage.find_first_of(":?#", 5), std::string::npos);
  EXPECT_TRUE(backend.reports().empty());
}

TEST_F(MainWindow, NavigatesExactlyOnceFromStartToExit) {
  const auto main = id("frmDownloadDisplay");
  backend.resize(main, {9000, 7000});
  backend.minimize(main);
  backend.restore(main);
  click("frmDownloadDisplay", "Command6");
  EXPECT_EQ(pages(), std::vector<std::string>{kTypingPage});
  EXPECT_EQ(runtime.loaded_windows(), 0u);
  EXPECT_TRUE(backend.quit_requested());
}

TEST_F(MainWindow, TheStoredLayoutHidesTheCreditLabelUnderThePane) {
  const auto main = id("frmDownloadDisplay");
  const auto pane = control_id("frmDownloadDisplay", "WebBrowser1");
  const RectTwips credit = rect("frmDownloadDisplay", "Label3");
  // Points of the credit label inside the inner area: its corner, its
  // middle, and the corner of the inner area that it reaches past.
  const float points[][2] = {{credit.left + 1, credit.top + 1},
                             {credit.left + 600, credit.top + 60},
                             {14025 - 1, 11145 - 1},
                             {12000, 11100}};
  for (const auto& p : points) {
    const auto target = backend.hit_test(main, p[0], p[1]);
    ASSERT_TRUE(target.has_value());
    const auto kind = win("frmDownloadDisplay").layout->controls[*target].kind;
    EXPECT_TRUE(*target == pane || kind == tav::Kind::CommandButton) << p[0] << "," << p[1];
  }
  // Clicking there for real, between "About" and "Update", reaches the pane.
  EXPECT_EQ(backend.click_at(main, 11200, 11100), pane);
  EXPECT_TRUE(backend.launches().empty());
  EXPECT_TRUE(backend.reports().empty());
}

TEST_F(MainWindow, ButtonsLieOverThePaneAndTakeTheirClicks) {
  const auto main = id("frmDownloadDisplay");
  const struct {
    float x, y;
    std::string_view control;
  } cases[] = {
      {9900, 10900, "Command2"},
      {11300, 10900, "Command1"},
      {13000, 10900, "Command6"},
      {12605, 10900, "Command1"},  // the 15-twip overlap: stored first lies on top
  };
  for (const auto& c : cases) {
    const auto target = backend.hit_test(main, c.x, c.y);
    ASSERT_TRUE(target);
    EXPECT_EQ(win("frmDownloadDisplay").layout->controls[*target].name, c.control);
  }
  backend.click_at(main, 11300, 10900);
  EXPECT_NE(id("Form1"), 0u);
}

// ---- resize

struct ResizeCase {
  const char* what;
  std::vector<SizeTwips> sizes;  // reported one after the other
  RectTwips pane;                // the pane afterwards
};

class MainWindowResize : public ProgramTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_F(MainWindowResize, FirstShowFitsThePaneToTheInnerAreaAndMovesNothingElse) {
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1"), (RectTwips{0, 0, 14025, 11145}));
  const auto& w = win("frmDownloadDisplay");
  for (tav::ControlId i = 0; i < w.layout->controls.size(); ++i) {
    const auto& c = w.layout->controls[i];
    if (c.kind == tav::Kind::WebBrowser) continue;
    EXPECT_EQ(w.rects[i], (RectTwips{static_cast<float>(c.left), static_cast<float>(c.top),
                                     static_cast<float>(c.width), static_cast<float>(c.height)}))
        << c.name;
  }
}

TEST_P(MainWindowResize, RefitsThePane) {
  const auto main = id("frmDownloadDisplay");
  for (const SizeTwips& s : GetParam().sizes) backend.resize(main, s);
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1"), GetParam().pane);
  EXPECT_EQ(rect("frmDownloadDisplay", "Command6"), (RectTwips{12600, 10800, 1455, 375}));
  EXPECT_EQ(rect("frmDownloadDisplay", "Label3"), (RectTwips{11160, 11040, 3135, 255}));
  EXPECT_TRUE(backend.reports().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MainWindowResize,
    ::testing::Values(
        ResizeCase{"grow", {{20000, 15000}}, {0, 0, 20000, 15000}},
        ResizeCase{"shrink", {{3000, 2000}}, {0, 0, 3000, 2000}},
        ResizeCase{"zero", {{0, 0}}, {0, 0, 0, 0}},
        ResizeCase{"grow then shrink", {{20000, 15000}, {5000, 4000}}, {0, 0, 5000, 4000}},
        ResizeCase{"fractional twips", {{14025.5f, 11145.25f}}, {0, 0, 14025.5f, 11145.25f}}),
    [](const auto& p) {
      std::string n = p.param.what;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST_F(MainWindowResize, MinimizeSetsZeroAndRestoreRefitsTheWholeInnerArea) {
  const auto main = id("frmDownloadDisplay");
  backend.minimize(main);
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1"), (RectTwips{0, 0, 0, 0}));
  backend.restore(main);
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1"), (RectTwips{0, 0, 14025, 11145}));
}

TEST_F(MainWindowResize, RunsOncePerChangeOfTheInnerSize) {
  const auto main = id("frmDownloadDisplay");
  backend.faults.top = tav::Variant(100.0);  // makes each run visible in the height
  backend.resize(main, {14025, 11145});      // unchanged: no run
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1").height, 11145);
  backend.resize(main, {14025, 11000});
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1").height, 10900);
}

struct FailingStep {
  const char* what;
  void (*inject)(tav::HeadlessBackend::Faults&);
  float width, height;  // the pane after resizing to 8000 x 6000
};

class MainWindowResizeFaults : public ProgramTest,
                               public ::testing::WithParamInterface<FailingStep> {};

TEST_P(MainWindowResizeFaults, ASkippedStepKeepsItsOldValueSilently) {
  GetParam().inject(backend.faults);
  backend.resize(id("frmDownloadDisplay"), {8000, 6000});
  const RectTwips pane = rect("frmDownloadDisplay", "WebBrowser1");
  EXPECT_EQ(pane.width, GetParam().width);
  EXPECT_EQ(pane.height, GetParam().height);
  EXPECT_EQ(pane.left, 0);
  EXPECT_EQ(pane.top, 0);
  EXPECT_TRUE(backend.reports().empty()) << "skip mode reports nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MainWindowResizeFaults,
    ::testing::Values(
        FailingStep{"inner_size_unreadable", [](auto& f) { f.inner_size_fails = true; }, 14025,
                    11145},
        FailingStep{"width_refused", [](auto& f) { f.refuse_width = true; }, 14025, 6000},
        FailingStep{"height_refused", [](auto& f) { f.refuse_height = true; }, 8000, 11145},
        FailingStep{"top_unreadable", [](auto& f) { f.top_fails = true; }, 8000, 11145},
        FailingStep{"top_not_a_number", [](auto& f) { f.top = tav::Variant("top"); }, 8000, 11145},
        FailingStep{"top_numeric_text", [](auto& f) { f.top = tav::Variant(" 500 "); }, 8000, 5500},
        FailingStep{"top_empty_is_zero", [](auto& f) { f.top = tav::Variant(); }, 8000, 6000},
        FailingStep{"top_nan", [](auto& f) { f.top = std::numeric_limits<double>::quiet_NaN(); },
                    8000, 11145},
        FailingStep{"top_beyond_single_range", [](auto& f) { f.top = 1e300; }, 8000, 11145},
        FailingStep{"negative_difference_refused", [](auto& f) { f.top = 7000.0; }, 8000, 11145},
        FailingStep{"tiny_top_underflow_is_fine", [](auto& f) { f.top = 1e-40; }, 8000, 6000}),
    [](const auto& p) { return std::string(p.param.what); });

TEST_F(MainWindowResize, ADifferenceBeyondSingleRangeFailsOnlyTheHeightStep) {
  const float huge = std::numeric_limits<float>::max();
  backend.faults.top = -static_cast<double>(huge);
  backend.resize(id("frmDownloadDisplay"), {8000, huge});
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1").width, 8000);
  EXPECT_EQ(rect("frmDownloadDisplay", "WebBrowser1").height, 11145);
  EXPECT_TRUE(backend.reports().empty());
}

// ---- commands

TEST_F(MainWindow, ExitWithOtherWindowsOpenLeavesThemAndTheRun) {
  click("frmDownloadDisplay", "Command1");
  click("frmDownloadDisplay", "Command2");
  click("frmDownloadDisplay", "Command6");
  EXPECT_EQ(id("frmDownloadDisplay"), 0u);
  EXPECT_NE(id("Form1"), 0u);
  EXPECT_NE(id("frmabout"), 0u);
  EXPECT_FALSE(backend.quit_requested());

  click("Form1", "Label3");
  EXPECT_FALSE(backend.quit_requested());
  click("frmabout", "Command1");
  EXPECT_TRUE(backend.quit_requested());
  EXPECT_EQ(runtime.loaded_windows(), 0u);
}

TEST_F(MainWindow, TheGlobalObjectIsCreatedOnceWhicheverWindowClosesFirst) {
  click("frmDownloadDisplay", "Command1");
  EXPECT_TRUE(runtime.global_reference().empty());
  click("Form1", "Label3");
  ASSERT_FALSE(runtime.global_reference().empty());
  const tav::Global* first = &*runtime.global_reference();
  click("frmDownloadDisplay", "Command2");
  click("frmabout", "Command1");
  click("frmDownloadDisplay", "Command6");
  EXPECT_EQ(&*runtime.global_reference(), first);
  EXPECT_EQ(runtime.loaded_windows(), 0u);
}

TEST_F(MainWindow, AFailedExitLeavesTheMainWindowAndIsReported) {
  backend.faults.destroy_fails = true;
  click("frmDownloadDisplay", "Command6");
  EXPECT_NE(id("frmDownloadDisplay"), 0u);
  ASSERT_EQ(backend.reports().size(), 1u);
  EXPECT_EQ(backend.reports()[0].title, "Tavrino");
  backend.faults.destroy_fails = false;
  click("frmDownloadDisplay", "Command6");
  EXPECT_EQ(runtime.loaded_windows(), 0u);
}

TEST_F(MainWindow, ClosingFromTheTitleBarUnloadsLikeExit) {
  click("frmDownloadDisplay", "Command2");
  backend.close(id("frmDownloadDisplay"));
  EXPECT_EQ(id("frmDownloadDisplay"), 0u);
  EXPECT_FALSE(backend.quit_requested());
  backend.close(id("frmabout"));
  EXPECT_TRUE(backend.quit_requested());
}

// ---- credit label

TEST_F(MainWindow, CreditLabelLaunchesTheProductPageHiddenOncePerClick) {
  click("frmDownloadDisplay", "Label3");
  click("frmDownloadDisplay", "Label3");
  ASSERT_EQ(backend.launches().size(), 2u);
  for (const auto& l : backend.launches()) {
    EXPECT_EQ(l.command_line, kCredit);
    EXPECT_EQ(l.style, tav::vbHide);
  }
  EXPECT_EQ(kCredit.find(' '), 9u);
  EXPECT_EQ(kCredit.rfind(' '), 9u) << "one blank only";
  EXPECT_TRUE(kCredit.ends_with("/tavrino.html"));
  EXPECT_TRUE(backend.reports().empty());
}

TEST_F(MainWindow, CreditLabelWithoutStartExeReportsFileNotFoundAndChangesNothing) {
  backend.installed_programs.erase("start.exe");
  click("frmDownloadDisplay", "Label3");
  EXPECT_TRUE(backend.launches().empty());
  ASSERT_EQ(backend.reports().size(), 1u);
  EXPECT_EQ(backend.reports()[0].error, (tav::Error{53, "File not found"}));
  EXPECT_EQ(tav::report_text(backend.reports()[0].error), "Run-time error '53':\n\nFile not found");
  // The program goes on: the window is as it was and still answers.
  EXPECT_NE(id("frmDownloadDisplay"), 0u);
  click("frmDownloadDisplay", "Command1");
  EXPECT_NE(id("Form1"), 0u);
}

TEST_F(MainWindow, F1OpensTheProjectHelpPage) {
  backend.press_f1();
  EXPECT_EQ(backend.help_opened(), std::vector<std::string>{TAVRINO_PRODUCT_SITE "/1.5/help.html"});
}

}  // namespace
}  // namespace tavrino::testing
