#pragma once
// What a native toolkit supplies to the runtime, and no more: windows and
// their controls built from a layout table, the inner size, the browser pane's
// three properties and Navigate, the launch of a command line, the message
// loop, the keyboard focus, and two ways to tell the user something (an error
// report and help).
// Everything the program relies on beyond that -- loading, Show and Unload,
// default instances, event dispatch, run-time errors, skip mode, the end of
// the run -- lives once in the Runtime above this interface.

#include <string_view>

#include "platform/error.h"
#include "platform/layout.h"
#include "platform/variant.h"

namespace tav {

// Identifies one loaded window; given out by the runtime, never reused.
using WindowId = unsigned;

struct SizeTwips {
  float width = 0;
  float height = 0;
  friend bool operator==(const SizeTwips&, const SizeTwips&) = default;
};

// How a backend reports what the user or the window system did. Calls for a
// window that is no longer loaded are ignored, so a backend may report late.
// No call throws: whatever fails inside is reported to the user by the
// runtime, so a backend may call these straight from a toolkit callback.
class EventSink {
 public:
  virtual void clicked(WindowId window, ControlId control) noexcept = 0;
  // The window's inner size as the backend now sees it, including 0 x 0 when
  // minimized. The runtime raises Resize on the first report after the window
  // is shown and on every report that differs from the one before.
  virtual void inner_size_changed(WindowId window, SizeTwips size) noexcept = 0;
  // The user asked the window system to close the window (title bar, Alt+F4).
  virtual void close_requested(WindowId window) noexcept = 0;
  // F1 in any window of the program.
  virtual void help_requested() noexcept = 0;

 protected:
  ~EventSink() = default;
};

class Backend {
 public:
  virtual ~Backend() = default;
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  void attach(EventSink& sink) { sink_ = &sink; }

  // Builds the window and every control of its layout, not yet visible.
  virtual Status create_window(WindowId id, const Layout& layout) = 0;
  // Makes the window visible (modeless, no owner) and brings it to the front.
  virtual Status show_window(WindowId id) = 0;
  virtual Status destroy_window(WindowId id) = 0;
  virtual Result<SizeTwips> inner_size(WindowId id) = 0;
  // Gives the keyboard focus to a control of a shown window. From there Tab
  // and Shift+Tab move it along the window's focus order (focus_order.h); a
  // control that cannot take it now is passed over without a report.
  virtual void focus(WindowId id, ControlId control) = 0;

  // The browser pane. Sizes are twips that the runtime has checked against
  // is_valid_size; the backend only applies them.
  virtual Status navigate(WindowId id, ControlId pane, std::string_view url) = 0;
  virtual Status set_width(WindowId id, ControlId control, float twips) = 0;
  virtual Status set_height(WindowId id, ControlId control, float twips) = 0;
  virtual Result<Variant> top(WindowId id, ControlId control) = 0;

  // Starts the program named by the command line with a window style (0
  // hidden, 3 maximized with focus); never through a shell, never waits.
  // Returns a task id.
  virtual Result<double> launch(std::string_view command_line, int style) = 0;

  // Runs the message loop until quit().
  virtual void run() = 0;
  virtual void quit() = 0;

  // Tells the user of an error that left an event procedure; must not block
  // the other windows.
  virtual void report_error(std::string_view title, const Error& error) = 0;
  // Runs the message loop for as long as an error report is open, so that
  // the last report of a run stays until the user closes it.
  virtual void wait_for_reports() = 0;
  // Opens the project's help file.
  virtual void open_help(std::string_view address) = 0;

  // Object creation: a backend may refuse it (out of memory, say).
  virtual Status create_object(std::string_view class_name) {
    (void)class_name;
    return {};
  }

 protected:
  EventSink& sink() { return *sink_; }

 private:
  EventSink* sink_ = nullptr;
};

}  // namespace tav
