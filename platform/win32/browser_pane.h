#pragma once
// The Windows web-browser control hosted in place inside a pane window: a
// small hand-written OLE site (client site, in-place site and frame), the
// control created with CoCreateInstance and in-place activated, Navigate
// called through IDispatch by dispatch id 104 with the address alone, and
// the pane's size handed on through SetObjectRects. When the control cannot
// be created the pane window stays empty and Navigate reports why.
//
// The pane keeps to web pages: it listens to the control's events and
// cancels every navigation that leaves http, https, about, data and blob,
// every new window (a link's or a script's, which a user's click hands to the
// desktop's browser instead) and every file download. Its client site also
// serves the control a download manager that takes each download and drops it.

#include <functional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/win32/handles.h"

struct IConnectionPoint;
struct IDispatch;
struct IOleObject;

namespace tav::win32 {

class BrowserEvents;
class BrowserSite;

// Opens an address with the system's handler for its scheme: the default
// browser for a web address.
void open_in_browser(const std::wstring& address);

class BrowserPane {
 public:
  // Opens an address in the desktop's browser; called for a new window that
  // a user's click asked for.
  using OpenInBrowser = std::function<void(const std::wstring& address)>;

  // Creates the control inside `host`, at the host's client rectangle, with
  // the pane's stored extent in HIMETRIC units. OLE must be initialized on
  // this thread.
  BrowserPane(HWND host, SIZE extent_himetric, OpenInBrowser open = open_in_browser);
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

  // The pane's handler of the control's events (DWebBrowserEvents2), which
  // the tests call as the control would; and whether the control reports
  // its events to it.
  IDispatch* events() const;
  bool watching_events() const { return events_cookie_ != 0; }

 private:
  void close();

  HWND host_;
  ComPtr<BrowserSite> site_;
  ComPtr<BrowserEvents> events_;
  ComPtr<IOleObject> object_;
  ComPtr<IConnectionPoint> events_source_;
  DWORD events_cookie_ = 0;
  HRESULT create_result_ = E_FAIL;
};

// Asks WinINet, the control's network layer, to keep every cookie of this
// process in memory, also those a site asks to keep: done once, before the
// first pane. False when the system does not take the option.
bool keep_cookies_in_memory();

// A run-time error for a failed COM call.
Error automation_error(HRESULT hr, std::wstring_view description = {});

}  // namespace tav::win32
