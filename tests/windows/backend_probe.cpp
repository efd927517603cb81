// Runs under Wine: starts the real project on the Win32 backend, with a
// recording layer between the runtime and the backend, and checks what the
// window system shows and what the backend answers. Prints one line per
// check ("PASS ..." / "FAIL ...") and exits with 0 only when all passed.
#include <cstdio>
#include <string>
#include <vector>

#include "app/project.h"
#include "links/sites.h"
#include "main_window/frmDownloadDisplay.h"
#include "platform/geometry.h"
#include "platform/win32/browser_pane.h"
#include "platform/win32/win32_backend.h"
#include "tests/backend_contract.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what, const std::string& detail = {}) {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", what.c_str(), detail.empty() ? "" : ": ",
              detail.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string describe(const tav::Status& s) {
  return s.ok() ? "ok" : std::to_string(s.error().number) + " " + s.error().description;
}

// Forwards every call to the Win32 backend and keeps what the runtime asked.
// run() returns at once: the probe inspects the windows instead of looping.
class Recorder final : public tav::Backend, public tav::EventSink {
 public:
  explicit Recorder(tav::win32::Win32Backend& inner) : inner_(inner) { inner_.attach(*this); }

  struct Navigation {
    tav::WindowId window;
    std::string url;
    tav::Status status;
  };
  std::vector<Navigation> navigations;
  std::vector<std::pair<float, tav::Status>> widths, heights;
  std::vector<tav::WindowId> created;

  tav::Status create_window(tav::WindowId id, const tav::Layout& layout) override {
    created.push_back(id);
    return inner_.create_window(id, layout);
  }
  tav::Status show_window(tav::WindowId id) override { return inner_.show_window(id); }
  tav::Status destroy_window(tav::WindowId id) override { return inner_.destroy_window(id); }
  tav::Result<tav::SizeTwips> inner_size(tav::WindowId id) override {
    return inner_.inner_size(id);
  }
  void focus(tav::WindowId id, tav::ControlId c) override { inner_.focus(id, c); }
  tav::Status navigate(tav::WindowId id, tav::ControlId pane, std::string_view url) override {
    tav::Status s = inner_.navigate(id, pane, url);
    navigations.push_back({id, std::string(url), s});
    return s;
  }
  tav::Status set_width(tav::WindowId id, tav::ControlId c, float twips) override {
    tav::Status s = inner_.set_width(id, c, twips);
    widths.emplace_back(twips, s);
    return s;
  }
  tav::Status set_height(tav::WindowId id, tav::ControlId c, float twips) override {
    tav::Status s = inner_.set_height(id, c, twips);
    heights.emplace_back(twips, s);
    return s;
  }
  tav::Result<tav::Variant> top(tav::WindowId id, tav::ControlId c) override {
    return inner_.top(id, c);
  }
  tav::Result<double> launch(std::string_view line, int style) override {
    return inner_.launch(line, style);
  }
  void run() override {}
  void quit() override { inner_.quit(); }
  void report_error(std::string_view title, const tav::Error& e) override {
    std::printf("INFO reported: %s\n", tav::report_text(e).c_str());
    inner_.report_error(title, e);
  }
  void wait_for_reports() override { inner_.wait_for_reports(); }
  void open_help(std::string_view address) override { inner_.open_help(address); }

  void clicked(tav::WindowId w, tav::ControlId c) noexcept override { sink().clicked(w, c); }
  void inner_size_changed(tav::WindowId w, tav::SizeTwips s) noexcept override {
    sink().inner_size_changed(w, s);
  }
  void close_requested(tav::WindowId w) noexcept override { sink().close_requested(w); }
  void help_requested() noexcept override { sink().help_requested(); }

 private:
  tav::win32::Win32Backend& inner_;
};

std::wstring window_text(HWND h) {
  wchar_t buffer[256] = {};
  GetWindowTextW(h, buffer, 256);
  return buffer;
}

int control_at(HWND parent, int x, int y) {
  HWND child = ChildWindowFromPointEx(parent, POINT{x, y}, CWP_SKIPINVISIBLE);
  if (!child || child == parent) return 0;
  return GetDlgCtrlID(child);
}

std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return s;
}

// Calls a pane's event handler as the control fires an event: the arguments
// in the event's order, handed over last first.
HRESULT fire(IDispatch* events, DISPID id, std::vector<VARIANT> args) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  return events->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
}

VARIANT by_ref(VARIANT_BOOL* b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = b;
  return v;
}
VARIANT by_ref(VARIANT* inner) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = inner;
  return v;
}
VARIANT by_ref(IDispatch** d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_DISPATCH;
  v.ppdispVal = d;
  return v;
}
VARIANT of_bstr(BSTR b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = b;
  return v;
}
VARIANT of_long(long n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
VARIANT of_bool(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT empty() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

// BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers,
// Cancel); true when the handler cancelled the navigation.
bool before_navigate(IDispatch* events, const std::wstring& url) {
  BSTR text = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  VARIANT address = of_bstr(text), flags = of_long(0), frame = empty(), post = empty(),
          headers = empty();
  VARIANT_BOOL cancelled = VARIANT_FALSE;
  VARIANT none;
  VariantInit(&none);
  none.vt = VT_DISPATCH;
  none.pdispVal = nullptr;
  fire(events, 250,
       {none, by_ref(&address), by_ref(&flags), by_ref(&frame), by_ref(&post), by_ref(&headers),
        by_ref(&cancelled)});
  SysFreeString(text);
  return cancelled != VARIANT_FALSE;
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl).
bool new_window3(IDispatch* events, long flags, const std::wstring& url) {
  BSTR text = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  BSTR context = SysAllocString(L"http://tavrino.invalid/1.5/encrypted.html");
  IDispatch* window = nullptr;
  VARIANT_BOOL cancelled = VARIANT_FALSE;
  fire(events, 273,
       {by_ref(&window), by_ref(&cancelled), of_long(flags), of_bstr(context), of_bstr(text)});
  SysFreeString(context);
  SysFreeString(text);
  return cancelled != VARIANT_FALSE && window == nullptr;
}

// NewWindow2(ppDisp, Cancel).
bool new_window2(IDispatch* events) {
  IDispatch* window = nullptr;
  VARIANT_BOOL cancelled = VARIANT_FALSE;
  fire(events, 251, {by_ref(&window), by_ref(&cancelled)});
  return cancelled != VARIANT_FALSE;
}

// FileDownload(ActiveDocument, Cancel).
bool file_download(IDispatch* events, bool active_document) {
  VARIANT_BOOL cancelled = VARIANT_FALSE;
  fire(events, 270, {of_bool(active_document), by_ref(&cancelled)});
  return cancelled != VARIANT_FALSE;
}

// The pane's answers to the control's events, called as the control calls
// them, on a pane of its own whose desktop browser is a list.
void check_pane_events() {
  HWND host = CreateWindowExW(0, L"STATIC", nullptr, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  std::vector<std::wstring> opened;
  {
    tav::win32::BrowserPane pane(host, SIZE{7938, 5292},
                                 [&](const std::wstring& address) { opened.push_back(address); });
    check(!pane.has_control() || pane.watching_events(),
          "a pane with a control hears the control's events");
    IDispatch* events = pane.events();
    check(events != nullptr, "the pane has an event handler");
    if (!events) return;

    const struct {
      const wchar_t* url;
      bool cancelled;
    } navigations[] = {
        {L"http://tavrino.invalid/1.5/encrypted.html", false},
        {L"HTTPS://tavrino.invalid/", false},
        {L"about:blank", false},
        {L"data:text/html,x", false},
        {L"blob:http://tavrino.invalid/1", false},
        {L"mailto:someone@tavrino.invalid", true},
        {L"ssh://tavrino.invalid/", true},
        {L"tavrino-custom:x", true},
        {L"file:///C:/windows/notepad.exe", true},
        {L"javascript:alert(1)", true},
        {L"res://ieframe.dll/navcancl.htm", true},
        {L"", true},
    };
    for (const auto& n : navigations) {
      const bool cancelled = before_navigate(events, n.url);
      check(cancelled == n.cancelled,
            std::string("BeforeNavigate2 ") + (n.cancelled ? "cancels " : "lets through ") +
                narrow(n.url),
            cancelled ? "cancelled" : "let through");
    }
    // An event without its arguments changes nothing and does not fault.
    check(fire(events, 250, {}) == S_OK && fire(events, 273, {}) == S_OK,
          "events without arguments are ignored");

    constexpr long kUser = 0x2, kFirst = 0x4;
    const struct {
      long flags;
      const wchar_t* url;
      bool opens;
    } windows[] = {
        {kUser | kFirst, L"http://tavrino.invalid/link", true},
        {kUser, L"https://tavrino.invalid/link", true},
        {0, L"http://tavrino.invalid/popup", false},
        {kFirst, L"http://tavrino.invalid/popup", false},
        {kUser, L"mailto:someone@tavrino.invalid", false},
        {kUser, L"file:///C:/windows/notepad.exe", false},
        {kUser, L"tavrino-custom:x", false},
        // Only a well-formed address goes to the browser's handler.
        {kUser, L" http://tavrino.invalid/link", false},
        {kUser, L"ht\ttp://tavrino.invalid/link", false},
        {kUser, L"http://tavrino.invalid/a\nb", false},
        {kUser, L"", false},
    };
    for (const auto& w : windows) {
      opened.clear();
      const bool cancelled = new_window3(events, w.flags, w.url);
      const std::string what = "NewWindow3 flags " + std::to_string(w.flags) + " " + narrow(w.url);
      check(cancelled, what + ": no window is made");
      check(opened == (w.opens ? std::vector<std::wstring>{w.url} : std::vector<std::wstring>{}),
            what + (w.opens ? ": opened in the browser" : ": not opened"),
            std::to_string(opened.size()) + " opened");
    }
    opened.clear();
    check(new_window2(events) && opened.empty(), "NewWindow2 is cancelled, nothing opened");
    check(file_download(events, false), "FileDownload of a file is cancelled");
    check(!file_download(events, true), "FileDownload of a page the pane shows goes on");
  }
  // Gone with its pane: the handler hands nothing on any more.
  DestroyWindow(host);
}

}  // namespace

int main() {
  tav::win32::Win32Backend backend(GetModuleHandleW(nullptr));
  Recorder recorder(backend);
  tav::Runtime runtime(recorder, tavrino::project_info());
  runtime.start();

  // Start-up: one navigation, the typing page, accepted by the pane.
  const std::string typing_page = TAVRINO_PRODUCT_SITE "/1.5/encrypted.html";
  check(recorder.navigations.size() == 1, "start-up navigates once",
        std::to_string(recorder.navigations.size()) + " navigations");
  if (!recorder.navigations.empty()) {
    const auto& n = recorder.navigations.front();
    check(n.url == typing_page, "the typing page address", n.url);
    check(n.status.ok(), "Navigate succeeds", describe(n.status));
  }
  check(recorder.created.size() == 1, "one window at start-up");
  if (recorder.created.empty()) return 1;
  const tav::WindowId main_id = recorder.created.front();
  HWND main = backend.native_window(main_id);
  check(main && IsWindowVisible(main), "the main window is shown");
  if (!main) return 1;
  check(window_text(main) == L"Tavrino 1.5", "main window caption");
  const tav::Layout& layout = tavrino::frmDownloadDisplay::kLayout;
  const tav::ControlId pane = *tav::find_control(layout, "WebBrowser1");
  std::printf("INFO browser control created: %s\n",
              backend.pane_has_control(main_id, pane) ? "yes" : "no");
  std::printf("INFO cookies kept in memory: %s\n",
              tav::win32::keep_cookies_in_memory() ? "yes" : "no (option not taken)");
  {
    const tav::win32::BrowserPane* main_pane = backend.pane(main_id, pane);
    check(main_pane && (!main_pane->has_control() || main_pane->watching_events()),
          "the main pane hears its control's events");
    if (main_pane && main_pane->events()) {
      check(before_navigate(main_pane->events(), L"mailto:someone@tavrino.invalid") &&
                !before_navigate(main_pane->events(), L"http://tavrino.invalid/"),
            "the main pane keeps to web pages");
    }
  }
  check_pane_events();
  HWND pane_host = GetDlgItem(main, static_cast<int>(pane) + 1);
  check(pane_host && (GetFocus() == pane_host || IsChild(pane_host, GetFocus())),
        "the main window opens with the focus in its pane");

  HDC screen = GetDC(nullptr);
  const double scale = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
  ReleaseDC(nullptr, screen);
  RECT client{};
  GetClientRect(main, &client);
  check(client.right == tav::twips_to_pixels(14025, scale) &&
            client.bottom == tav::twips_to_pixels(11145, scale),
        "main window inner area from twips",
        std::to_string(client.right) + " x " + std::to_string(client.bottom));

  // The first show fits the pane to the inner area.
  check(recorder.widths.size() == 1 && recorder.widths[0].first == 14025.0f &&
            recorder.widths[0].second.ok(),
        "first show sets the pane's width to the inner width");
  check(recorder.heights.size() == 1 && recorder.heights[0].first == 11145.0f &&
            recorder.heights[0].second.ok(),
        "first show sets the pane's height to the inner height less its top");
  HWND pane_window = GetDlgItem(main, static_cast<int>(pane) + 1);
  RECT pane_rect{};
  GetWindowRect(pane_window, &pane_rect);
  check(pane_rect.right - pane_rect.left == client.right &&
            pane_rect.bottom - pane_rect.top == client.bottom,
        "the pane covers the inner area");
  const tav::Result<tav::Variant> top = backend.top(main_id, pane);
  check(top.ok() && std::get<double>(top.value()) == 0.0, "Top reads the stored top");

  // Stacking: where "Exit" and "Update" overlap, "Update" (stored first) is
  // on top; at the credit label's visible place the pane takes the click.
  const int update = static_cast<int>(*tav::find_control(layout, "Command1")) + 1;
  const int exit_button = static_cast<int>(*tav::find_control(layout, "Command6")) + 1;
  const int overlap_x = tav::twips_to_pixels(12600, scale);
  const int row_y = tav::twips_to_pixels(11000, scale);
  check(control_at(main, overlap_x, row_y) == update, "Update lies above Exit");
  check(control_at(main, tav::twips_to_pixels(13500, scale), row_y) == exit_button,
        "Exit shows beside Update");
  check(control_at(main, tav::twips_to_pixels(11220, scale), tav::twips_to_pixels(11100, scale)) ==
            static_cast<int>(pane) + 1,
        "the pane covers the credit label");

  // A launch of a program that does not exist: run-time error 53.
  const tav::Result<double> missing = backend.launch("tavrino-no-such-program.exe x", 3);
  check(!missing.ok() && missing.error() == tav::err::file_not_found(),
        "launching a missing program is error 53");
  const tav::Result<double> cut = backend.launch(std::string("start.exe\0x", 11), 0);
  check(!cut.ok() && cut.error().number == 5, "a command line with a NUL is refused");

  // The current folder (wine_smoke.sh starts the probe in one holding a
  // planted tavrino-planted.exe and explorer.exe) is never searched, not even
  // through a relative PATH entry; the probe's own folder is.
  {
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    wchar_t old_path[4096] = {};
    GetEnvironmentVariableW(L"PATH", old_path, 4096);
    SetEnvironmentVariableW(L"PATH", (std::wstring(L".;;planted;") + old_path).c_str());
    for (const char* line : {"tavrino-planted.exe x", "tavrino-planted x",
                             ".\\tavrino-planted.exe x", "\"tavrino-planted.exe\" x"}) {
      const tav::Result<double> planted = backend.launch(line, 0);
      check(!planted.ok() && planted.error() == tav::err::file_not_found(),
            std::string("a program in the current folder is not found: ") + line,
            planted.ok() ? "it was started" : describe(tav::Status(planted.error())));
    }
    SetEnvironmentVariableW(L"PATH", old_path);
    const tav::Result<double> own = backend.launch("explorer probe-own-folder", 3);
    check(own.ok(), "explorer is found in the program's own folder");
    // An absolute path is taken as it is.
    char absolute[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, cwd, -1, absolute, sizeof absolute, nullptr, nullptr);
    const std::string line = std::string("\"") + absolute + "\\tavrino-planted.exe\" absolute";
    check(backend.launch(line, 0).ok(), "a program named by its absolute path is started", line);
  }

  // An error report is a window of its own and does not hold the caller.
  backend.report_error("Tavrino probe", tav::err::file_not_found());
  HWND report = FindWindowW(L"TavrinoReport", L"Tavrino probe");
  check(report && IsWindowVisible(report), "an error report shows without blocking");
  check(backend.open_reports() == 1, "one report open");
  if (report) SendMessageW(report, WM_COMMAND, IDOK, 0);
  check(backend.open_reports() == 0 && !IsWindow(report), "OK closes the report");

  // Resizing refits the pane through Form_Resize; minimizing gives it 0 x 0.
  RECT bigger = {0, 0, client.right + 60, client.bottom + 30};
  AdjustWindowRectEx(&bigger, static_cast<DWORD>(GetWindowLongPtrW(main, GWL_STYLE)), FALSE, 0);
  SetWindowPos(main, nullptr, 0, 0, bigger.right - bigger.left, bigger.bottom - bigger.top,
               SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(main, &client);
  GetWindowRect(pane_window, &pane_rect);
  check(pane_rect.right - pane_rect.left == client.right &&
            pane_rect.bottom - pane_rect.top == client.bottom,
        "a resize refits the pane to the inner area",
        std::to_string(pane_rect.right - pane_rect.left) + " x " +
            std::to_string(pane_rect.bottom - pane_rect.top));
  ShowWindow(main, SW_MINIMIZE);
  check(!recorder.widths.empty() && recorder.widths.back().first == 0.0f &&
            !recorder.heights.empty() && recorder.heights.back().first == 0.0f,
        "minimizing sets the pane to 0 x 0");
  ShowWindow(main, SW_RESTORE);
  GetWindowRect(pane_window, &pane_rect);
  check(pane_rect.right - pane_rect.left == client.right &&
            pane_rect.bottom - pane_rect.top == client.bottom,
        "restoring gives the pane the inner area again");
  check((GetWindowLongPtrW(main, GWL_STYLE) & WS_THICKFRAME) != 0, "the main window is sizable");

  // "About" through the runtime: the about window from its own layout.
  runtime.clicked(main_id, *tav::find_control(layout, "Command2"));
  check(recorder.created.size() == 2, "\"About\" creates a second window");
  if (recorder.created.size() == 2) {
    HWND about = backend.native_window(recorder.created[1]);
    check(about && window_text(about) == L"About - Tavrino 1.5", "about window caption");
    RECT about_client{};
    GetClientRect(about, &about_client);
    check(about_client.right == tav::twips_to_pixels(7320, scale) &&
              about_client.bottom == tav::twips_to_pixels(7335, scale),
          "about window inner area",
          std::to_string(about_client.right) + " x " + std::to_string(about_client.bottom));
    check((GetWindowLongPtrW(about, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX)) == 0 &&
              (GetWindowLongPtrW(about, GWL_STYLE) & WS_SYSMENU) != 0,
          "the about window has a fixed frame with a close box");
    // Picture1 is record 0, its "Close" button record 1, inside the picture.
    HWND picture = GetDlgItem(about, 1);
    RECT box{};
    GetWindowRect(picture, &box);
    POINT origin{0, 0};
    ClientToScreen(about, &origin);
    check(box.left - origin.x == -16 && box.top - origin.y == -16 && box.right - box.left == 513 &&
              box.bottom - box.top == 505,
          "the picture box lies at -16, -16, 513 x 505");
    HWND close = GetDlgItem(picture, 2);
    check(close && (GetWindowLongPtrW(close, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW,
          "the coloured button is drawn by its container");
    check(GetFocus() == picture, "the about window opens with the focus on its picture");
    SendMessageW(about, WM_CLOSE, 0, 0);
    check(runtime.loaded_windows() == 1, "closing the about window leaves the main window");
  }

  // Closing the window through the window system unloads it and ends the run.
  SendMessageW(main, WM_CLOSE, 0, 0);
  check(backend.native_window(main_id) == nullptr && !IsWindow(main), "WM_CLOSE unloads");
  check(runtime.loaded_windows() == 0, "no window left loaded");
  MSG msg;
  bool quit = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) quit = true;
  }
  check(quit, "the end of the run posts WM_QUIT");

  // The calls every backend answers alike.
  const std::vector<std::string> contract = tav::contract::run(backend);
  for (const std::string& f : contract) check(false, "backend contract", f);
  if (contract.empty()) check(true, "backend contract");

  std::printf("%s\n", failures == 0 ? "ALL PASSED" : "SOME FAILED");
  return failures == 0 ? 0 : 1;
}
