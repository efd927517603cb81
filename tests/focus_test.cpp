// The keyboard focus: each window's tab order, the focus when a window opens,
// and Tab and Shift+Tab along the order.
#include <string>
#include <vector>

#include "about_window/frmabout.h"
#include "main_window/frmDownloadDisplay.h"
#include "platform/focus_order.h"
#include "tests/program_fixture.h"
#include "updates_window/Form1.h"

namespace tavrino::testing {
namespace {

using tav::ControlId;
using tav::Kind;

std::string name_of(const tav::Layout& layout, ControlId id) {
  const auto& c = layout.controls[id];
  std::string name(c.name);
  if (c.index != tav::kNoIndex) name += "(" + std::to_string(c.index) + ")";
  return name;
}

std::vector<std::string> names(const tav::Layout& layout, const std::vector<ControlId>& ids) {
  std::vector<std::string> out;
  for (ControlId id : ids) out.push_back(name_of(layout, id));
  return out;
}

struct WindowOrder {
  const char* form;
  const char* open;  // the main window's button that shows it; null: the main window
  const tav::Layout* layout;
  std::vector<std::string> order;
};

const WindowOrder kOrders[] = {
    {"frmDownloadDisplay",
     nullptr,
     &frmDownloadDisplay::kLayout,
     {"WebBrowser1", "Command6", "Command1", "Command2"}},
    {"Form1",
     "Command1",
     &Form1::kLayout,
     {"WebBrowser2", "Picture1(0)", "Picture1(1)", "Picture2(0)", "Picture2(1)"}},
    {"frmabout", "Command2", &frmabout::kLayout, {"Picture1", "Command1"}},
};

TEST(FocusOrder, EachWindowFollowsItsStoredTabIndexAndNoLabelOrInetTakesTheFocus) {
  for (const WindowOrder& w : kOrders) {
    const std::vector<ControlId> order = tav::focus_order(*w.layout);
    EXPECT_EQ(names(*w.layout, order), w.order) << w.form;
    for (ControlId i = 0; i < w.layout->controls.size(); ++i) {
      const Kind k = w.layout->controls[i].kind;
      if (k == Kind::Label || k == Kind::Inet) {
        EXPECT_EQ(std::count(order.begin(), order.end(), i), 0) << w.form << " " << i;
      }
    }
  }
}

// Ties, a missing tab index and every kind of control, in one table.
constexpr auto N = tav::kNoIndex;
// clang-format off
const tav::ControlRecord kMixed[] = {
//  name       index kind                container left top width height caption font     fore back tab link picture
  {"Label",   N, Kind::Label,         "",    N,   0,  0,  10,   10,   "l",    nullptr, {}, {},   0, {}, nullptr},
  {"Late",    N, Kind::CommandButton, "",    N,   0,  0,  10,   10,   "b",    nullptr, {}, {},   5, {}, nullptr},
  {"Box",     N, Kind::PictureBox,    "",    N,   0,  0,  10,   10,   {},     nullptr, {}, {},   1, {}, nullptr},
  {"Inner",   N, Kind::CommandButton, "Box", N,   0,  0,   5,    5,   "i",    nullptr, {}, {},   0, {}, nullptr},
  {"Inet",    N, Kind::Inet,          "",    N,   0,  0,   0,    0,   {},     nullptr, {}, {},   2, {}, nullptr},
  {"Pane",    N, Kind::WebBrowser,    "",    N,   0,  0,  10,   10,   {},     nullptr, {}, {},   1, {}, nullptr},
  {"NoIndex", N, Kind::CommandButton, "",    N,   0,  0,  10,   10,   "n",    nullptr, {}, {},  -1, {}, nullptr},
};
// clang-format on
const tav::Layout kMixedLayout{.form = {.name = "Mixed",
                                        .caption = "Mixed",
                                        .client_left = 0,
                                        .client_top = 0,
                                        .client_width = 100,
                                        .client_height = 100,
                                        .back = {},
                                        .icon = nullptr,
                                        .border = tav::BorderStyle::Sizable,
                                        .link_topic = {}},
                               .controls = kMixed};

TEST(FocusOrder, OneOrderAcrossContainersWithStoredOrderBreakingATie) {
  EXPECT_EQ(names(kMixedLayout, tav::focus_order(kMixedLayout)),
            (std::vector<std::string>{"Inner", "Box", "Pane", "Late"}));
}

TEST(FocusOrder, TabAndShiftTabWrapAndPassOverWhatCannotTakeTheFocus) {
  const std::vector<ControlId> order{7, 3, 5};
  const auto all = [](ControlId) { return true; };
  const auto not5 = [](ControlId c) { return c != 5; };
  const auto none = [](ControlId) { return false; };
  struct Case {
    std::optional<ControlId> from;
    bool backward;
    std::function<bool(ControlId)> can;
    std::optional<ControlId> to;
  };
  const Case cases[] = {
      {7, false, all, 3},
      {3, false, all, 5},
      {5, false, all, 7},  // wraps at the end
      {7, true, all, 5},
      {3, true, all, 7},  // wraps at the start
      {std::nullopt, false, all, 7},
      {std::nullopt, true, all, 5},  // from no control
      {9, false, all, 7},
      {9, true, all, 5},  // from outside the order
      {3, false, not5, 7},
      {7, true, not5, 3},                                 // passes over one
      {7, false, [](ControlId c) { return c == 7; }, 7},  // only itself
      {7, false, none, std::nullopt},
      {std::nullopt, true, none, std::nullopt},
      {3, false, {}, 5},  // no filter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tav::next_focus(order, c.from, c.backward, c.can), c.to)
        << (c.from ? std::to_string(*c.from) : "none") << (c.backward ? " back" : " fwd");
  }
  EXPECT_EQ(tav::next_focus({}, std::nullopt, false), std::nullopt);
}

class WindowFocus : public ProgramTest, public ::testing::WithParamInterface<WindowOrder> {
 protected:
  std::string focused(const char* form) const {
    const auto& w = win(form);
    return w.focused ? name_of(*w.layout, *w.focused) : "(none)";
  }
};

TEST_P(WindowFocus, OpensOnTheFirstControlAndTabWalksTheOrderBothWays) {
  const WindowOrder& o = GetParam();
  if (o.open) click("frmDownloadDisplay", o.open);
  const auto window = id(o.form);
  ASSERT_NE(window, 0u);
  EXPECT_EQ(focused(o.form), o.order.front());
  const std::size_t n = o.order.size();
  for (std::size_t i = 1; i <= n; ++i) {
    backend.press_tab(window);
    EXPECT_EQ(focused(o.form), o.order[i % n]) << "Tab " << i;
  }
  for (std::size_t i = 1; i <= n; ++i) {
    backend.press_tab(window, /*backward=*/true);
    EXPECT_EQ(focused(o.form), o.order[(n - i) % n]) << "Shift+Tab " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowFocus, ::testing::ValuesIn(kOrders),
                         [](const auto& p) { return std::string(p.param.form); });

TEST_F(ProgramTest, ShowingAnOpenWindowAgainKeepsItsFocusAndReopeningStartsOver) {
  click("frmDownloadDisplay", "Command2");
  const auto about = id("frmabout");
  backend.press_tab(about);
  const auto close = control_id("frmabout", "Command1");
  ASSERT_EQ(win("frmabout").focused, close);
  click("frmDownloadDisplay", "Command2");  // shown again
  EXPECT_EQ(win("frmabout").focused, close);
  EXPECT_EQ(win("frmDownloadDisplay").focused, control_id("frmDownloadDisplay", "Command2"))
      << "a click gives a button the focus";

  click("frmabout", "Command1");
  click("frmDownloadDisplay", "Command2");  // loaded and shown anew
  EXPECT_EQ(win("frmabout").focused, control_id("frmabout", "Picture1"));
}

TEST_F(ProgramTest, TabPassesOverAPaneSizedToNothing) {
  const auto main = id("frmDownloadDisplay");
  backend.resize(main, {0, 0});  // the resize procedure gives the pane no width
  click("frmDownloadDisplay", "Command2");
  backend.press_tab(main);
  EXPECT_EQ(win("frmDownloadDisplay").focused, control_id("frmDownloadDisplay", "Command6"));
}

}  // namespace
}  // namespace tavrino::testing
