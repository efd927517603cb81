// The updates and about windows: their default instances, loading, closing
// and the two link labels.
#include "about_window/frmabout.h"
#include "links/link_label.h"
#include "tests/program_fixture.h"
#include "updates_window/Form1.h"

namespace tavrino::testing {
namespace {

struct Secondary {
  const char* window;  // the form's class
  const char* open;    // the main window's button that shows it
  const char* close;   // the control that closes it
  bool loads_a_page;
};

class SecondaryWindow : public ProgramTest, public ::testing::WithParamInterface<Secondary> {};

TEST_P(SecondaryWindow, OneInstanceLoadedOnceWhileOpenAndAgainAfterClosing) {
  const Secondary& s = GetParam();
  const std::size_t pages_at_start = pages().size();
  click("frmDownloadDisplay", s.open);
  ASSERT_NE(id(s.window), 0u);
  EXPECT_TRUE(win(s.window).visible);
  const std::size_t loads = s.loads_a_page ? 1 : 0;
  EXPECT_EQ(pages().size(), pages_at_start + loads);

  const auto created = backend.windows_created();
  click("frmDownloadDisplay", s.open);  // shown again, not loaded again
  EXPECT_EQ(backend.windows_created(), created);
  EXPECT_EQ(win(s.window).show_count, 2);
  EXPECT_EQ(pages().size(), pages_at_start + loads);

  click(s.window, s.close);
  EXPECT_EQ(id(s.window), 0u);
  EXPECT_NE(id("frmDownloadDisplay"), 0u) << "closing touches no other window";
  EXPECT_FALSE(backend.quit_requested());

  click("frmDownloadDisplay", s.open);  // the same object, loaded anew
  EXPECT_EQ(backend.windows_created(), created + 1);
  EXPECT_EQ(win(s.window).show_count, 1);
  EXPECT_EQ(pages().size(), pages_at_start + 2 * loads);
  EXPECT_TRUE(backend.reports().empty());
}

INSTANTIATE_TEST_SUITE_P(Windows, SecondaryWindow,
                         ::testing::Values(Secondary{"Form1", "Command1", "Label3", true},
                                           Secondary{"frmabout", "Command2", "Command1", false}),
                         [](const auto& p) { return std::string(p.param.window); });

TEST_F(ProgramTest, TheDefaultInstancesAreFilledOnFirstUseAndKeptAfterUnload) {
  EXPECT_TRUE(runtime.reference<Form1>().empty());
  EXPECT_TRUE(runtime.reference<frmabout>().empty());
  click("frmDownloadDisplay", "Command1");
  Form1* updates = &*runtime.reference<Form1>();
  click("Form1", "Label3");
  ASSERT_FALSE(runtime.reference<Form1>().empty());
  EXPECT_FALSE(runtime.reference<Form1>()->loaded());
  click("frmDownloadDisplay", "Command1");
  EXPECT_EQ(&*runtime.reference<Form1>(), updates);
  EXPECT_TRUE(updates->loaded());
  EXPECT_TRUE(runtime.reference<frmabout>().empty());
}

TEST_F(ProgramTest, UpdatesPageIsLoadedIntoTheUpdatesPane) {
  click("frmDownloadDisplay", "Command1");
  ASSERT_EQ(backend.navigations().size(), 2u);
  EXPECT_EQ(backend.navigations()[1].url, kUpdatesPage);
  EXPECT_EQ(backend.navigations()[1].window, id("Form1"));
  EXPECT_EQ(backend.navigations()[1].pane, control_id("Form1", "WebBrowser2"));
}

TEST_F(ProgramTest, BothWindowsOpenAtOnceBesideTheMainWindow) {
  click("frmDownloadDisplay", "Command1");
  click("frmDownloadDisplay", "Command2");
  for (const char* w : {"frmDownloadDisplay", "Form1", "frmabout"}) {
    EXPECT_TRUE(win(w).visible) << w;
  }
  // Each closes alone.
  click("frmabout", "Command1");
  EXPECT_NE(id("Form1"), 0u);
  click("Form1", "Label3");
  EXPECT_NE(id("frmDownloadDisplay"), 0u);
}

TEST_F(ProgramTest, ObjectCreationFailureIsReportedAndLeavesTheReferenceEmpty) {
  backend.faults.create_object_fails = true;
  click("frmDownloadDisplay", "Command1");
  EXPECT_EQ(id("Form1"), 0u);
  EXPECT_TRUE(runtime.reference<Form1>().empty());
  ASSERT_EQ(backend.reports().size(), 1u);
  backend.faults.create_object_fails = false;
  click("frmDownloadDisplay", "Command1");
  EXPECT_NE(id("Form1"), 0u);
}

TEST_F(ProgramTest, AFailedShowKeepsTheCreatedObjectForTheNextClick) {
  backend.faults.show_fails = true;
  click("frmDownloadDisplay", "Command2");
  ASSERT_EQ(backend.reports().size(), 1u);
  ASSERT_FALSE(runtime.reference<frmabout>().empty());
  frmabout* about = &*runtime.reference<frmabout>();
  backend.faults.show_fails = false;
  click("frmDownloadDisplay", "Command2");
  EXPECT_EQ(&*runtime.reference<frmabout>(), about);
  EXPECT_TRUE(win("frmabout").visible);
  EXPECT_EQ(backend.windows_created(), 2u) << "the window was loaded once";
}

TEST_F(ProgramTest, AFailedNavigateInTheLoadProcedureIsReportedAndTheWindowStillShows) {
  backend.faults.navigate_fails = true;
  click("frmDownloadDisplay", "Command1");
  EXPECT_TRUE(win("Form1").visible);
  EXPECT_EQ(backend.reports().size(), 1u);
  click("Form1", "Label3");
  EXPECT_EQ(id("Form1"), 0u);
}

TEST_F(ProgramTest, ClicksOnTextsPicturesAndStripsDoNothing) {
  click("frmDownloadDisplay", "Command1");
  click("frmDownloadDisplay", "Command2");
  const std::pair<const char*, std::pair<const char*, std::int16_t>> quiet[] = {
      {"Form1", {"Label1", tav::kNoIndex}},
      {"Form1", {"Picture1", 0}},
      {"Form1", {"Picture1", 1}},
      {"Form1", {"Picture2", 0}},
      {"Form1", {"Picture2", 1}},
      {"frmabout", {"Label1", tav::kNoIndex}},
      {"frmabout", {"Label3", tav::kNoIndex}},
      {"frmabout", {"Picture1", tav::kNoIndex}},
  };
  for (const auto& [form, c] : quiet) click(form, c.first, c.second);
  EXPECT_NE(id("Form1"), 0u);
  EXPECT_NE(id("frmabout"), 0u);
  EXPECT_TRUE(backend.launches().empty());
  EXPECT_EQ(backend.navigations().size(), 2u);
  EXPECT_TRUE(backend.reports().empty());
}

// ---- link labels, in place

struct LinkLabel {
  const char* window;
  const char* open;
  const char* array;
  float x, y;  // a point of the label in the window's inner area
};

class StoredLinkLabel : public ProgramTest, public ::testing::WithParamInterface<LinkLabel> {};

TEST_P(StoredLinkLabel, LaunchesExplorerWithTheMakerRootMaximizedOnEachClick) {
  const LinkLabel& l = GetParam();
  click("frmDownloadDisplay", l.open);
  const auto target = backend.click_at(id(l.window), l.x, l.y);
  ASSERT_TRUE(target);
  EXPECT_EQ(win(l.window).layout->controls[*target].name, l.array);
  click(l.window, l.array, 1);
  ASSERT_EQ(backend.launches().size(), 2u);
  for (const auto& launch : backend.launches()) {
    EXPECT_EQ(launch.command_line, "explorer " + kMakerRoot);
    EXPECT_EQ(launch.style, tav::vbMaximizedFocus);
  }
  EXPECT_TRUE(win(l.window).visible);
}

INSTANTIATE_TEST_SUITE_P(Windows, StoredLinkLabel,
                         // Label2(1) sits at 4200,120 in the bottom strip at 0,4680; lblURL(1) at
                         // 1440,6720 in the picture box at -240,-240, where it overlaps the about
                         // text and lies on top of it.
                         ::testing::Values(LinkLabel{"Form1", "Command1", "Label2", 4300, 4850},
                                           LinkLabel{"frmabout", "Command2", "lblURL", 1300, 6500}),
                         [](const auto& p) { return std::string(p.param.window); });

TEST_F(ProgramTest, LinkLabelWithoutExplorerReportsFileNotFound) {
  backend.installed_programs.clear();
  click("frmDownloadDisplay", "Command2");
  click("frmabout", "lblURL", 1);
  EXPECT_TRUE(backend.launches().empty());
  ASSERT_EQ(backend.reports().size(), 1u);
  EXPECT_EQ(backend.reports()[0].error.number, 53);
  EXPECT_NE(id("frmabout"), 0u);
}

// ---- the link label procedure on a window of its own, to vary the address

class LinkWindow final : public tav::Form {
 public:
  static constexpr std::string_view class_name = "LinkWindow";
  static inline std::string address;
  static inline LinkWindow* last = nullptr;
  static inline tav::ControlRecord records[2] = {{"Links",
                                                  1,
                                                  tav::Kind::Label,
                                                  "",
                                                  tav::kNoIndex,
                                                  0,
                                                  0,
                                                  100,
                                                  100,
                                                  "link",
                                                  nullptr,
                                                  {},
                                                  {},
                                                  0,
                                                  {},
                                                  nullptr},
                                                 {"Plain",
                                                  tav::kNoIndex,
                                                  tav::Kind::Label,
                                                  "",
                                                  tav::kNoIndex,
                                                  0,
                                                  100,
                                                  100,
                                                  100,
                                                  "plain",
                                                  nullptr,
                                                  {},
                                                  {},
                                                  1,
                                                  "http://maker/",
                                                  nullptr}};
  static inline const tav::Layout layout{
      {"LinkWindow", "Links", 0, 0, 1000, 1000, {}, nullptr, tav::BorderStyle::FixedSingle, {}},
      records};
  explicit LinkWindow(tav::Runtime& rt) : Form(rt, layout) {
    records[0].link = address;
    last = this;
  }
  void Click(std::string_view control, const std::int16_t& Index) override {
    link_label_click(*this, control, Index);
  }
};

// A program whose start-up window is a LinkWindow with that link address.
struct LinkProgram {
  explicit LinkProgram(std::string link) {
    LinkWindow::address = std::move(link);
    runtime.start();
  }
  tav::WindowId window() const { return backend.find("LinkWindow")->id; }
  tav::HeadlessBackend backend;
  tav::Runtime runtime{backend, {"Links", "", [](tav::Runtime& rt) -> std::unique_ptr<tav::Form> {
                                   return std::make_unique<LinkWindow>(rt);
                                 }}};
};

TEST(LinkLabelProcedure, TrimsTheAddressAtBothEndsOnlyAndJoinsItUnquoted) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://maker/", "explorer http://maker/"},
      {"   http://maker/  ", "explorer http://maker/"},
      {" http://maker/a b  c ", "explorer http://maker/a b  c"},
      {"\thttp://maker/\t", "explorer \thttp://maker/\t"},  // only spaces are trimmed
      {"", "explorer "},
      {"     ", "explorer "},
  };
  for (const auto& [address, expected] : cases) {
    LinkProgram p(address);
    p.backend.click(p.window(), 0);
    ASSERT_EQ(p.backend.launches().size(), 1u) << '"' << address << '"';
    EXPECT_EQ(p.backend.launches()[0].command_line, expected) << '"' << address << '"';
    EXPECT_EQ(p.backend.launches()[0].style, tav::vbMaximizedFocus);
  }
}

TEST(LinkLabelProcedure, AnIndexThatNamesNoMemberFailsBeforeAnythingIsLaunched) {
  LinkProgram p("http://maker/");
  for (const std::int16_t index : {0, 2, -1, 32767}) {
    try {
      link_label_click(*LinkWindow::last, "Links", index);
      ADD_FAILURE() << index;
    } catch (const tav::RuntimeError& e) {
      EXPECT_EQ(e.error().number, 340) << index;
    }
  }
  // A label that is no array member fails the lookup as well, even though
  // it carries an address; through the event dispatch the error is reported.
  p.backend.click(p.window(), 1);
  ASSERT_EQ(p.backend.reports().size(), 1u);
  EXPECT_EQ(p.backend.reports()[0].error.number, 343);
  EXPECT_TRUE(p.backend.launches().empty());
}

}  // namespace
}  // namespace tavrino::testing
