#pragma once
// Win32 backend: builds each window and its controls from the layout table
// (buttons and picture boxes as child windows, labels painted and hit-tested
// by their container, panes hosting the WebBrowser control), moves the
// keyboard focus along each window's tab order, launches with CreateProcessW
// and reports errors in modeless windows. It cannot render
// pages where the system has no HTML engine: the pane then stays empty.

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win32/handles.h"

namespace tav::win32 {

class BrowserPane;

class Win32Backend final : public Backend {
 public:
  // Initializes OLE on this thread and registers the window classes.
  explicit Win32Backend(HINSTANCE instance);
  ~Win32Backend() override;

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
  void run() override;
  void quit() override;
  void report_error(std::string_view title, const Error& error) override;
  void wait_for_reports() override;
  void open_help(std::string_view address) override;

  // The top-level window of a loaded window, or nullptr.
  HWND native_window(WindowId id) const;
  // Whether a pane holds a live browser control.
  bool pane_has_control(WindowId id, ControlId pane) const;
  // A loaded window's pane, or nullptr.
  const BrowserPane* pane(WindowId id, ControlId pane) const;
  std::size_t open_reports() const { return reports_.size(); }

 private:
  struct Window;
  struct Report;

  static LRESULT CALLBACK form_proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK picture_proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK pane_proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK report_proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT container_message(Window& w, HWND hwnd, std::optional<ControlId> container, UINT msg,
                            WPARAM wp, LPARAM lp);

  void register_classes();
  Window* lookup(WindowId id) const;
  bool create_children(Window& w, HWND parent, std::optional<ControlId> container);
  HFONT font_for(Window& w, const FontSpec* font);
  void paint_container(Window& w, HDC dc, std::optional<ControlId> container);
  void draw_button(Window& w, const DRAWITEMSTRUCT& item);
  std::optional<ControlId> label_at(const Window& w, std::optional<ControlId> container,
                                    POINT pt) const;
  int pixels(double twips) const;
  std::optional<ControlId> focused_control(const Window& w) const;
  bool can_focus(const Window& w, ControlId c) const;
  void give_focus(Window& w, ControlId c);
  void move_focus(Window& w, bool backward);
  bool navigate_keys(const MSG& msg);
  Status set_extent(WindowId id, ControlId control, float twips, bool width);
  SizeTwips client_twips(HWND hwnd) const;
  void process(MSG& msg);
  void close_report(Report& report);

  HINSTANCE instance_;
  bool ole_ = false;
  double scale_ = 1.0;  // monitor dots per inch / 96
  std::map<WindowId, std::unique_ptr<Window>> windows_;
  // Unloaded windows whose window procedures may still be on the stack; freed
  // once the message loop is back at the top.
  std::vector<std::unique_ptr<Window>> retired_;
  std::list<Report> reports_;
  UniqueFont message_font_;
};

}  // namespace tav::win32
