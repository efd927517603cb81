#pragma once
// Headless backend: windows and controls live in memory at their stored
// places and in the runtime's stacking order. Tests drive clicks (by control
// or at a point, hit-tested like a real window), resizes, minimize and
// restore, Tab and Shift+Tab; navigations, launches, error reports and help
// requests are recorded in order, and each window keeps its focused control.
// Faults can be injected at each place a window relies on the platform.
// Implements the whole Backend interface; run() returns at once because the
// test itself is the message loop.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace tav {

struct RectTwips {
  float left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const RectTwips&, const RectTwips&) = default;
};

class HeadlessBackend final : public Backend {
 public:
  struct Window {
    WindowId id = 0;
    const Layout* layout = nullptr;
    bool visible = false;
    int show_count = 0;
    SizeTwips inner;
    std::optional<SizeTwips> restore_size;  // set while minimized
    std::vector<RectTwips> rects;           // one per control record
    std::optional<ControlId> focused;       // the control with the keyboard focus
  };
  struct Navigation {
    WindowId window;
    ControlId pane;
    std::string url;
  };
  struct Launch {
    std::string command_line;
    int style;
  };
  struct Report {
    std::string title;
    Error error;
  };
  struct Faults {
    bool inner_size_fails = false;  // ScaleWidth / ScaleHeight cannot be read
    bool top_fails = false;         // Top cannot be read
    std::optional<Variant> top;     // Top reads as this value
    bool refuse_width = false;      // the pane refuses any width
    bool refuse_height = false;     // the pane refuses any height
    bool show_fails = false;
    bool destroy_fails = false;  // Unload fails
    bool create_object_fails = false;
    bool navigate_fails = false;
  };

  // Programs that a launch can find, by program word ("explorer" finds
  // "explorer.exe" too, as on Windows).
  std::set<std::string> installed_programs{"explorer.exe", "start.exe"};
  Faults faults;

  // ---- inspection
  const Window* window(WindowId id) const;
  // The loaded window built from the layout whose form is named `form`.
  const Window* find(std::string_view form) const;
  std::size_t window_count() const { return windows_.size(); }
  std::size_t windows_created() const { return created_; }
  const std::vector<Navigation>& navigations() const { return navigations_; }
  const std::vector<Launch>& launches() const { return launches_; }
  const std::vector<Report>& reports() const { return reports_; }
  const std::vector<std::string>& help_opened() const { return help_; }
  bool quit_requested() const { return quit_; }
  // The control's rectangle in its window's inner area (containers added).
  RectTwips window_rect(WindowId id, ControlId control) const;

  // ---- driving, as a user or the window system would
  // A click on a command button also gives it the focus, as on both
  // platforms' native buttons.
  void click(WindowId id, ControlId control);
  void click(WindowId id, std::string_view name, std::int16_t index = kNoIndex);
  // Clicks at a point of the inner area; returns the control that took the
  // click, if any. Only buttons, labels and picture boxes raise Click; a
  // click on the pane goes to its page.
  std::optional<ControlId> click_at(WindowId id, float x, float y);
  // The control that a click at that point would reach, without clicking.
  std::optional<ControlId> hit_test(WindowId id, float x, float y) const;
  void resize(WindowId id, SizeTwips inner);
  void minimize(WindowId id);
  void restore(WindowId id);
  void close(WindowId id);
  void press_f1();
  // Tab, or Shift+Tab when `backward`: the focus moves along the window's
  // focus order, passing over a control that does not show (size 0).
  void press_tab(WindowId id, bool backward = false);

  // ---- Backend
  Status create_window(WindowId id, const Layout& layout) override;
  Status show_window(WindowId id) override;
  Status destroy_window(WindowId id) override;
  Result<SizeTwips> inner_size(WindowId id) override;
  void focus(WindowId id, ControlId control) override;
  Status navigate(WindowId id, ControlId pane, std::string_view url) override;
  Status set_width(WindowId id, ControlId control, float twips) override;
  Status set_height(WindowId id, ControlId control, float twips) override;
  Result<Variant> top(WindowId id, ControlId control) override;
  Result<double> launch(std::string_view command_line, int style) override;
  void run() override {}
  void quit() override { quit_ = true; }
  void report_error(std::string_view title, const Error& error) override;
  void wait_for_reports() override {}  // nobody here reads or closes a report
  void open_help(std::string_view address) override;
  Status create_object(std::string_view class_name) override;

 private:
  Window* lookup(WindowId id);
  std::optional<ControlId> hit(const Window& w, std::optional<ControlId> container, float x,
                               float y) const;

  std::vector<Window> windows_;
  std::size_t created_ = 0;
  std::vector<Navigation> navigations_;
  std::vector<Launch> launches_;
  std::vector<Report> reports_;
  std::vector<std::string> help_;
  double next_task_ = 1000;
  bool quit_ = false;
};

}  // namespace tav
