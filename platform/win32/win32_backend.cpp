#include "platform/win32/win32_backend.h"

#include <ole2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/bmp.h"
#include "platform/command_line.h"
#include "platform/focus_order.h"
#include "platform/geometry.h"
#include "platform/win32/browser_pane.h"
#include "platform/win32/program_search.h"

namespace tav::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"TavrinoForm";
constexpr wchar_t kPictureClass[] = L"TavrinoPicture";
constexpr wchar_t kPaneClass[] = L"TavrinoPane";
constexpr wchar_t kReportClass[] = L"TavrinoReport";
constexpr int kReportOk = IDOK;

COLORREF colour_ref(Colour c) {
  if (c.is_system()) return GetSysColor(c.system_index());
  return RGB(c.red(), c.green(), c.blue());
}

// A control's child-window id: its record index plus one (0 is no id).
int child_id(ControlId id) {
  return static_cast<int>(id) + 1;
}

// An uncompressed BMP file checked against its own header, ready to draw.
struct Dib {
  const BITMAPINFO* info = nullptr;
  const void* bits = nullptr;
  int width = 0, height = 0;
};

std::optional<Dib> to_dib(PictureData file) {
  const std::optional<BmpLayout> bmp = parse_bmp(file);
  if (!bmp) return std::nullopt;
  // The header inside the file may be unaligned; the Windows API reads
  // BITMAPINFO as packed bytes.
  Dib d;
  d.info = reinterpret_cast<const BITMAPINFO*>(file.data() + bmp->info_offset);
  d.bits = file.data() + bmp->pixels_offset;
  d.width = bmp->width;
  d.height = bmp->height;
  return d;
}

RECT rect_of(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

}  // namespace

struct Win32Backend::Window {
  Win32Backend* backend = nullptr;
  WindowId id = 0;
  const Layout* layout = nullptr;
  struct Control {
    HWND hwnd = nullptr;  // windowed controls; owned by the parent window
    RECT rect{};          // pixels, in the container's inner area
    HFONT font = nullptr;
    std::optional<Dib> picture;
  };
  // Declaration order is release order reversed: the panes close first, then
  // the window with all its children goes, then the fonts and brushes.
  std::vector<std::pair<const FontSpec*, UniqueFont>> fonts;
  UniqueBrush back;
  std::vector<Control> controls;
  UniqueWindow hwnd;
  std::map<ControlId, std::unique_ptr<BrowserPane>> panes;
  std::optional<ControlId> pressed_label;
  std::optional<ControlId> pressed_container;
  std::vector<ControlId> focus_order;  // the controls that take the focus, in tab order
  // The control that had the focus when the window was last deactivated; it
  // takes it back when the window is activated again.
  std::optional<ControlId> saved_focus;
  bool alive = true;
};

struct Win32Backend::Report {
  Win32Backend* backend = nullptr;
  std::wstring text;
  RECT text_rect{};
  UniqueWindow hwnd;
};

// ---- set-up -------------------------------------------------------------

Win32Backend::Win32Backend(HINSTANCE instance) : instance_(instance) {
  ole_ = SUCCEEDED(OleInitialize(nullptr));
  if (HDC screen = GetDC(nullptr)) {
    scale_ = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
    ReleaseDC(nullptr, screen);
  }
  if (!(scale_ > 0)) scale_ = 1.0;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    message_font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  }
  register_classes();
}

Win32Backend::~Win32Backend() {
  reports_.clear();
  windows_.clear();
  retired_.clear();
  if (ole_) OleUninitialize();
}

void Win32Backend::register_classes() {
  struct ClassInfo {
    const wchar_t* name;
    WNDPROC proc;
    UINT style;
  };
  const ClassInfo classes[] = {
      {kFormClass, &form_proc, CS_HREDRAW | CS_VREDRAW},
      {kPictureClass, &picture_proc, 0},
      {kPaneClass, &pane_proc, 0},
      {kReportClass, &report_proc, 0},
  };
  for (const ClassInfo& s : classes) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance_, s.name, &existing)) continue;  // registered once
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = s.style;
    wc.lpfnWndProc = s.proc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = s.name;
    RegisterClassExW(&wc);
  }
}

Win32Backend::Window* Win32Backend::lookup(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

HWND Win32Backend::native_window(WindowId id) const {
  const Window* w = lookup(id);
  return w ? w->hwnd.get() : nullptr;
}

bool Win32Backend::pane_has_control(WindowId id, ControlId pane) const {
  const Window* w = lookup(id);
  if (!w) return false;
  auto it = w->panes.find(pane);
  return it != w->panes.end() && it->second->has_control();
}

const BrowserPane* Win32Backend::pane(WindowId id, ControlId pane) const {
  const Window* w = lookup(id);
  if (!w) return nullptr;
  auto it = w->panes.find(pane);
  return it != w->panes.end() ? it->second.get() : nullptr;
}

int Win32Backend::pixels(double twips) const {
  return twips_to_pixels(twips, scale_);
}

SizeTwips Win32Backend::client_twips(HWND hwnd) const {
  if (IsIconic(hwnd)) return {0, 0};
  RECT r{};
  GetClientRect(hwnd, &r);
  return {static_cast<float>(pixels_to_twips(r.right - r.left, scale_)),
          static_cast<float>(pixels_to_twips(r.bottom - r.top, scale_))};
}

// ---- windows ------------------------------------------------------------

HFONT Win32Backend::font_for(Window& w, const FontSpec* wanted) {
  if (!wanted) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (auto& [s, f] : w.fonts) {
    if (s == wanted) return f.get();
  }
  const std::wstring face = widen_lossy(wanted->name);
  const int height = -static_cast<int>(std::lround(wanted->points * 96.0 * scale_ / 72.0));
  HFONT font =
      CreateFontW(height, 0, 0, 0, wanted->weight, wanted->italic, wanted->underline,
                  wanted->strikethrough, static_cast<DWORD>(wanted->charset), OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  if (!font) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  w.fonts.emplace_back(wanted, UniqueFont(font));
  return font;
}

Status Win32Backend::create_window(WindowId id, const Layout& layout) {
  if (windows_.contains(id)) return err::cannot_load_or_unload();
  auto owned = std::make_unique<Window>();
  Window& w = *owned;
  w.backend = this;
  w.id = id;
  w.layout = &layout;
  w.controls.resize(layout.controls.size());
  const FormRecord& form = layout.form;
  w.back.reset(CreateSolidBrush(form.back ? colour_ref(*form.back) : GetSysColor(COLOR_BTNFACE)));

  // Every place and size, in pixels of its container's inner area.
  for (ControlId i = 0; i < layout.controls.size(); ++i) {
    const ControlRecord& c = layout.controls[i];
    w.controls[i].rect = rect_of(pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height));
    if (c.kind == Kind::Label || c.kind == Kind::CommandButton) {
      w.controls[i].font = font_for(w, c.font);
    }
    if (c.kind == Kind::PictureBox && c.picture) w.controls[i].picture = to_dib(c.picture());
  }

  const DWORD style =
      (form.border == BorderStyle::Sizable ? WS_OVERLAPPEDWINDOW
                                           : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU)) |
      WS_CLIPCHILDREN;
  RECT frame = rect_of(0, 0, pixels(form.client_width), pixels(form.client_height));
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  // A stored client position of 0, 0 would push the title bar off the
  // screen; such a window goes where the system places new windows.
  if (form.client_left != 0 || form.client_top != 0) {
    x = pixels(form.client_left) + frame.left;
    y = pixels(form.client_top) + frame.top;
  }
  const std::wstring caption = widen_lossy(form.caption);
  HWND hwnd = CreateWindowExW(0, kFormClass, caption.c_str(), style, x, y, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance_, &w);
  if (!hwnd) return err::out_of_memory();
  w.hwnd.reset(hwnd);
  if (form.icon) {
    // The program icon: icon group 1 of the executable, at both sizes.
    HICON big = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    auto small = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (big) SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  if (!create_children(w, hwnd, std::nullopt)) return err::out_of_memory();
  w.focus_order = focus_order(layout);
  windows_.emplace(id, std::move(owned));
  return {};
}

bool Win32Backend::create_children(Window& w, HWND parent, std::optional<ControlId> container) {
  const std::vector<ControlId> order = stacking_order(*w.layout, container);
  for (ControlId id : order) {  // bottom to top
    const ControlRecord& c = w.layout->controls[id];
    if (!is_windowed(c.kind)) continue;
    Window::Control& state = w.controls[id];
    const RECT& r = state.rect;
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(child_id(id)));
    HWND h = nullptr;
    switch (c.kind) {
      case Kind::CommandButton: {
        // A plain push button paints in the system's button colour; one with
        // a colour of its own is drawn by its container.
        const DWORD kind = c.back ? BS_OWNERDRAW : BS_PUSHBUTTON;
        const std::wstring caption = widen_lossy(c.caption);
        h = CreateWindowExW(0, L"BUTTON", caption.c_str(), child | WS_TABSTOP | kind, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, parent, menu, instance_, nullptr);
        if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
        break;
      }
      case Kind::PictureBox:
        h = CreateWindowExW(0, kPictureClass, nullptr, child | WS_CLIPCHILDREN, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, parent, menu, instance_, &w);
        break;
      case Kind::WebBrowser:
        h = CreateWindowExW(0, kPaneClass, nullptr, child | WS_CLIPCHILDREN | WS_TABSTOP, r.left,
                            r.top, r.right - r.left, r.bottom - r.top, parent, menu, instance_, &w);
        break;
      default:
        break;
    }
    if (!h) return false;
    state.hwnd = h;
    if (c.kind == Kind::PictureBox && !create_children(w, h, id)) return false;
    if (c.kind == Kind::WebBrowser) {
      // The stored extent, twips to HIMETRIC (0.01 mm), to the nearest unit.
      const SIZE extent{static_cast<LONG>(std::lround(c.width * 2540.0 / 1440.0)),
                        static_cast<LONG>(std::lround(c.height * 2540.0 / 1440.0))};
      w.panes.emplace(id, std::make_unique<BrowserPane>(h, extent));
    }
  }
  // Stored first lies on top: raise each in turn from the bottom up.
  for (ControlId id : order) {
    if (HWND h = w.controls[id].hwnd) {
      SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return true;
}

Status Win32Backend::show_window(WindowId id) {
  Window* w = lookup(id);
  if (!w) return err::object_required();
  HWND hwnd = w->hwnd.get();
  ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
  UpdateWindow(hwnd);
  // The first report after showing raises Resize; equal reports are dropped.
  sink().inner_size_changed(id, client_twips(hwnd));
  return {};
}

// ---- the keyboard focus
//
// The message loop takes Tab and Shift+Tab before the control that has the
// focus and moves the focus along the window's focus order; the dialog
// manager cannot do this, as it goes by the stacking order of the child
// windows, which the layout sets apart from the tab order. A pane's control
// sees each key first (translate_accelerator): it moves among the page's own
// fields and lets the Tab through past either end, and the loop then moves
// on to the next control.

std::optional<ControlId> Win32Backend::focused_control(const Window& w) const {
  // The innermost control that holds the focus: a button inside a picture
  // box is its own stop, and a pane holds it through the control's windows.
  for (HWND h = GetFocus(); h && h != w.hwnd.get(); h = GetParent(h)) {
    for (ControlId c : w.focus_order) {
      if (w.controls[c].hwnd == h) return c;
    }
  }
  return std::nullopt;
}

bool Win32Backend::can_focus(const Window& w, ControlId c) const {
  HWND h = w.controls[c].hwnd;
  if (!h || !IsWindowVisible(h) || !IsWindowEnabled(h)) return false;
  // A control of size 0, or inside a container of size 0, does not show.
  for (; h && h != w.hwnd.get(); h = GetParent(h)) {
    RECT r{};
    GetClientRect(h, &r);
    if (IsRectEmpty(&r)) return false;
  }
  return true;
}

void Win32Backend::give_focus(Window& w, ControlId c) {
  w.saved_focus = c;
  auto pane = w.panes.find(c);
  if (pane != w.panes.end()) {
    pane->second->focus();
  } else {
    SetFocus(w.controls[c].hwnd);
  }
}

void Win32Backend::move_focus(Window& w, bool backward) {
  const auto next = next_focus(w.focus_order, focused_control(w), backward,
                               [&](ControlId c) { return can_focus(w, c); });
  if (!next) return;
  // Keyboard use: buttons show their focus rectangle from now on.
  SendMessageW(w.hwnd.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  give_focus(w, *next);
}

void Win32Backend::focus(WindowId id, ControlId control) {
  Window* w = lookup(id);
  if (!w || control >= w->controls.size() || !can_focus(*w, control)) return;
  give_focus(*w, control);
}

// Tab, Shift+Tab and Return for the windows of the layouts; true when the
// key was used. Return clicks a focused button, as Space does natively.
bool Win32Backend::navigate_keys(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_TAB && msg.wParam != VK_RETURN)) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  for (auto& [id, w] : windows_) {
    if (msg.hwnd != w->hwnd.get() && !IsChild(w->hwnd.get(), msg.hwnd)) continue;
    if (msg.wParam == VK_TAB) {
      move_focus(*w, GetKeyState(VK_SHIFT) < 0);
      return true;
    }
    const auto current = focused_control(*w);
    if (!current || w->layout->controls[*current].kind != Kind::CommandButton) return false;
    // The click may unload this window: nothing of it is used afterwards.
    SendMessageW(w->controls[*current].hwnd, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

Status Win32Backend::destroy_window(WindowId id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return err::object_required();
  std::unique_ptr<Window> w = std::move(it->second);
  windows_.erase(it);
  w->alive = false;
  w->panes.clear();
  w->hwnd.reset();
  // Its window procedure may be what called us; free it later.
  retired_.push_back(std::move(w));
  return {};
}

Result<SizeTwips> Win32Backend::inner_size(WindowId id) {
  Window* w = lookup(id);
  if (!w) return err::object_required();
  return client_twips(w->hwnd.get());
}

// ---- the browser pane ---------------------------------------------------

Status Win32Backend::navigate(WindowId id, ControlId pane, std::string_view url) {
  Window* w = lookup(id);
  if (!w) return err::object_required();
  auto it = w->panes.find(pane);
  if (it == w->panes.end()) return err::not_supported();
  return it->second->navigate(url);
}

Status Win32Backend::set_width(WindowId id, ControlId control, float twips) {
  return set_extent(id, control, twips, /*width=*/true);
}

Status Win32Backend::set_height(WindowId id, ControlId control, float twips) {
  return set_extent(id, control, twips, /*width=*/false);
}

// Sets one side of a control's size; a pane's in-place object follows.
Status Win32Backend::set_extent(WindowId id, ControlId control, float twips, bool width) {
  Window* w = lookup(id);
  if (!w) return err::object_required();
  Window::Control& c = w->controls[control];
  (width ? c.rect.right : c.rect.bottom) = (width ? c.rect.left : c.rect.top) + pixels(twips);
  const int cx = c.rect.right - c.rect.left;
  const int cy = c.rect.bottom - c.rect.top;
  SetWindowPos(c.hwnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  auto pane = w->panes.find(control);
  if (pane == w->panes.end()) return {};
  return pane->second->set_rect(rect_of(0, 0, cx, cy));
}

Result<Variant> Win32Backend::top(WindowId id, ControlId control) {
  Window* w = lookup(id);
  if (!w) return err::object_required();
  // Nothing moves a control, so its top is the stored one.
  return Variant(static_cast<double>(w->layout->controls[control].top));
}

// ---- painting and input -------------------------------------------------

void Win32Backend::paint_container(Window& w, HDC dc, std::optional<ControlId> container) {
  if (container) {
    const Window::Control& box = w.controls[*container];
    if (box.picture) {
      // Unscaled, from the top-left corner; the window clips the rest.
      SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(box.picture->width),
                        static_cast<DWORD>(box.picture->height), 0, 0, 0,
                        static_cast<UINT>(box.picture->height), box.picture->bits,
                        box.picture->info, DIB_RGB_COLORS);
    }
  }
  // Labels, bottom to top, beneath the child windows (WS_CLIPCHILDREN).
  SetBkMode(dc, TRANSPARENT);
  for (ControlId id : stacking_order(*w.layout, container)) {
    const ControlRecord& c = w.layout->controls[id];
    if (c.kind != Kind::Label) continue;
    RECT r = w.controls[id].rect;
    const HGDIOBJ old = SelectObject(dc, w.controls[id].font);
    SetTextColor(dc, c.fore ? colour_ref(*c.fore) : GetSysColor(COLOR_BTNTEXT));
    const std::wstring text = widen_lossy(c.caption);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_WORDBREAK);
    SelectObject(dc, old);
  }
}

void Win32Backend::draw_button(Window& w, const DRAWITEMSTRUCT& item) {
  const ControlId id = item.CtlID - 1;
  const ControlRecord& c = w.layout->controls[id];
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  UniqueBrush fill(CreateSolidBrush(c.back ? colour_ref(*c.back) : GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &r, fill.get());
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  if (pressed) OffsetRect(&r, 1, 1);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  const HGDIOBJ old = SelectObject(dc, w.controls[id].font);
  const std::wstring text = widen_lossy(c.caption);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  if (item.itemState & ODS_FOCUS) {
    RECT f = item.rcItem;
    InflateRect(&f, -4, -4);
    DrawFocusRect(dc, &f);
  }
}

std::optional<ControlId> Win32Backend::label_at(const Window& w, std::optional<ControlId> container,
                                                POINT pt) const {
  const std::vector<ControlId> order = stacking_order(*w.layout, container);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {  // top first
    if (w.layout->controls[*it].kind != Kind::Label) continue;
    if (PtInRect(&w.controls[*it].rect, pt)) return *it;
  }
  return std::nullopt;
}

LRESULT Win32Backend::container_message(Window& w, HWND hwnd, std::optional<ControlId> container,
                                        UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      // A picture box shows its own background where its picture ends.
      FillRect(reinterpret_cast<HDC>(wp), &r,
               container ? GetSysColorBrush(COLOR_BTNFACE) : w.back.get());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      paint_container(w, dc, container);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      w.pressed_label = label_at(w, container, pt);
      w.pressed_container = container;
      return 0;
    }
    case WM_LBUTTONUP: {
      const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      const std::optional<ControlId> pressed = std::exchange(w.pressed_label, std::nullopt);
      if (pressed && w.pressed_container == container && label_at(w, container, pt) == pressed &&
          w.alive) {
        sink().clicked(w.id, *pressed);
      }
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && lp != 0 && w.alive) {
        const ControlId id = static_cast<ControlId>(LOWORD(wp)) - 1;
        if (id < w.controls.size() && w.controls[id].hwnd == reinterpret_cast<HWND>(lp)) {
          sink().clicked(w.id, id);
        }
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item && item->CtlType == ODT_BUTTON && item->CtlID >= 1 &&
          item->CtlID <= w.controls.size()) {
        draw_button(w, *item);
        return TRUE;
      }
      break;
    }
    case WM_SIZE:
      if (!container && w.alive) {
        SizeTwips size{0, 0};
        if (wp != SIZE_MINIMIZED) {
          size = {static_cast<float>(pixels_to_twips(LOWORD(lp), scale_)),
                  static_cast<float>(pixels_to_twips(HIWORD(lp), scale_))};
        }
        sink().inner_size_changed(w.id, size);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (!container) {
        // The runtime unloads the window, which destroys it.
        if (w.alive) sink().close_requested(w.id);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (!container && w.alive) {
        // The focus leaves with the window and comes back to the same
        // control, never to the window itself.
        if (LOWORD(wp) == WA_INACTIVE) {
          if (const auto c = focused_control(w)) w.saved_focus = c;
        } else if (w.saved_focus && can_focus(w, *w.saved_focus)) {
          give_focus(w, *w.saved_focus);
          return 0;
        }
      }
      break;
    case WM_SETFOCUS:
      if (!container && w.alive && w.saved_focus && can_focus(w, *w.saved_focus)) {
        give_focus(w, *w.saved_focus);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

namespace {
template <class T>
T* attach_user_data(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}
}  // namespace

LRESULT CALLBACK Win32Backend::form_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = attach_user_data<Window>(hwnd, msg, lp);
  if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
  return w->backend->container_message(*w, hwnd, std::nullopt, msg, wp, lp);
}

LRESULT CALLBACK Win32Backend::picture_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = attach_user_data<Window>(hwnd, msg, lp);
  const int id = GetDlgCtrlID(hwnd);
  if (!w || id < 1) return DefWindowProcW(hwnd, msg, wp, lp);
  return w->backend->container_message(*w, hwnd, static_cast<ControlId>(id - 1), msg, wp, lp);
}

LRESULT CALLBACK Win32Backend::pane_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_WINDOW));
    return 1;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- launch, loop, reports, help ----------------------------------------

Result<double> Win32Backend::launch(std::string_view command_line, int style) {
  const Error invalid{5, "Invalid procedure call or argument"};
  if (Status refused = check_command_line(command_line); !refused.ok()) return refused.error();
  const std::optional<std::wstring> wide = widen(command_line);
  if (!wide) return invalid;
  // The program is found here rather than by CreateProcessW, whose search
  // would look in the current folder too; the line itself goes on unchanged.
  const std::optional<std::wstring> word = widen(split_command_line(command_line).front());
  if (!word) return invalid;
  const std::wstring program = find_program(*word);
  if (program.empty()) return err::file_not_found();
  std::vector<wchar_t> buffer(wide->begin(), wide->end());  // CreateProcessW may write to it
  buffer.push_back(L'\0');
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(style);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return err::file_not_found();
      case ERROR_ACCESS_DENIED:
        return Error{70, "Permission denied"};
      default:
        return invalid;
    }
  }
  UniqueHandle process(pi.hProcess);
  UniqueHandle thread(pi.hThread);
  return static_cast<double>(pi.dwProcessId);
}

void Win32Backend::process(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    sink().help_requested();
    return;
  }
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    // Find the one pane the keystroke is for before calling out: the call
    // may unload windows.
    BrowserPane* target = nullptr;
    for (auto& [id, w] : windows_) {
      for (auto& [pane_id, pane] : w->panes) {
        if (msg.hwnd == pane->host() || IsChild(pane->host(), msg.hwnd)) target = pane.get();
      }
    }
    if (target && target->translate_accelerator(msg)) return;
    if (navigate_keys(msg)) return;
  }
  HWND report = nullptr;
  for (Report& r : reports_) {
    if (r.hwnd && (msg.hwnd == r.hwnd.get() || IsChild(r.hwnd.get(), msg.hwnd)))
      report = r.hwnd.get();
  }
  if (report && IsDialogMessageW(report, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Backend::run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    process(msg);
    retired_.clear();
  }
}

void Win32Backend::quit() {
  PostQuitMessage(0);
}

void Win32Backend::wait_for_reports() {
  MSG msg;
  while (!reports_.empty()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got < 0) break;
    if (got == 0) continue;  // the end of the run was already asked for
    process(msg);
    retired_.clear();
  }
}

void Win32Backend::report_error(std::string_view title, const Error& error) {
  Report& r = reports_.emplace_back();
  r.backend = this;
  r.text = widen_lossy(report_text(error));
  // Measure the text, then size a window around it and an OK button.
  HDC screen = GetDC(nullptr);
  const HGDIOBJ old =
      SelectObject(screen, message_font_ ? message_font_.get() : GetStockObject(DEFAULT_GUI_FONT));
  RECT text{0, 0, static_cast<LONG>(360 * scale_), 0};
  DrawTextW(screen, r.text.c_str(), static_cast<int>(r.text.size()), &text,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  const int margin = static_cast<int>(16 * scale_);
  const int button_w = static_cast<int>(80 * scale_), button_h = static_cast<int>(26 * scale_);
  const int width = std::max<int>(text.right, button_w) + 2 * margin;
  const int height = text.bottom + button_h + 3 * margin;
  OffsetRect(&text, margin, margin);
  r.text_rect = text;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const DWORD ex = WS_EX_DLGMODALFRAME;
  RECT frame = rect_of(0, 0, width, height);
  AdjustWindowRectEx(&frame, style, FALSE, ex);
  const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - fw) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - fh) / 2;
  const std::wstring caption = widen_lossy(title);
  HWND hwnd = CreateWindowExW(ex, kReportClass, caption.c_str(), style, x, y, fw, fh, nullptr,
                              nullptr, instance_, &r);
  if (!hwnd) {
    reports_.pop_back();
    return;
  }
  r.hwnd.reset(hwnd);
  HWND ok =
      CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                      (width - button_w) / 2, height - margin - button_h, button_w, button_h, hwnd,
                      reinterpret_cast<HMENU>(kReportOk), instance_, nullptr);
  if (ok && message_font_) {
    SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(message_font_.get()), FALSE);
  }
  MessageBeep(MB_ICONEXCLAMATION);
  // Modeless: the other windows go on taking input while it is open.
  ShowWindow(hwnd, SW_SHOW);
  if (ok) SetFocus(ok);
}

void Win32Backend::close_report(Report& report) {
  auto it = std::find_if(reports_.begin(), reports_.end(),
                         [&](const Report& r) { return &r == &report; });
  if (it != reports_.end()) reports_.erase(it);
}

LRESULT CALLBACK Win32Backend::report_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Report* r = attach_user_data<Report>(hwnd, msg, lp);
  if (!r) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      const HGDIOBJ old =
          SelectObject(dc, r->backend->message_font_ ? r->backend->message_font_.get()
                                                     : GetStockObject(DEFAULT_GUI_FONT));
      RECT tr = r->text_rect;
      DrawTextW(dc, r->text.c_str(), static_cast<int>(r->text.size()), &tr,
                DT_WORDBREAK | DT_NOPREFIX);
      SelectObject(dc, old);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        r->backend->close_report(*r);  // destroys this window
        return 0;
      }
      break;
    case WM_CLOSE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      r->backend->close_report(*r);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Backend::open_help(std::string_view address) {
  open_in_browser(widen_lossy(address));
}

}  // namespace tav::win32
