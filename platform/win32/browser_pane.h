#pragma once
// The Windows web-browser control hosted in place inside a pane window: a
// small hand-written OLE site (client site, in-place site and frame), the
// control created with CoCreateInstance and in-place activated, Navigate
// called through IDispatch by dispatch id 104 with the address alone, and
// the pane's size handed on through SetObjectRects. When the control cannot
// be created the pane window stays empty and Navigate reports why.

#include <string_view>

#include "platform/error.h"
#include "platform/win32/handles.h"

struct IOleObject;

namespace tav::win32 {

class BrowserSite;

class BrowserPane {
 public:
  // Creates the control inside `host`, at the host's client rectangle, with
  // the pane's stored extent in HIMETRIC units. OLE must be initialized on
  // this thread.
  BrowserPane(HWND host, SIZE extent_himetric);
  ~BrowserPane();
  BrowserPane(const BrowserPane&) = delete;
  BrowserPane& operator=(const BrowserPane&) = delete;

  HWND host() const { return host_; }
  bool has_control() const;

  // Navigate with the page address as its only argument.
  Status navigate(std::string_view url);
  // The pane's new rectangle within its host window.
  Status set_rect(const RECT& rect);
  // Lets the control handle a keystroke meant for it; true when it did.
  bool translate_accelerator(MSG& msg);
  // Gives the keyboard focus to the control's page, or to the host window
  // when there is no control.
  void focus();

 private:
  void close();

  HWND host_;
  ComPtr<BrowserSite> site_;
  ComPtr<IOleObject> object_;
  HRESULT create_result_ = E_FAIL;
};

// A run-time error for a failed COM call.
Error automation_error(HRESULT hr, std::wstring_view description = {});

}  // namespace tav::win32
