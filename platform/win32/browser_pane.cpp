#include "platform/win32/browser_pane.h"

#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>
#include <urlmon.h>
// urlmon.h first: the download manager's interface takes its BINDINFO.
#include <downloadmgr.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/web_rules.h"

namespace tav::win32 {

namespace {

// The WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
constexpr CLSID kClsidWebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr DISPID kDispidNavigate = 104;

// The control's event interface, DWebBrowserEvents2,
// {34A715A0-6587-11D0-924A-0020AFC7AC4D}, and the events the pane answers.
constexpr IID kDiidWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
constexpr DISPID kDispidBeforeNavigate2 = 250;
constexpr DISPID kDispidNewWindow2 = 251;
constexpr DISPID kDispidFileDownload = 270;
constexpr DISPID kDispidNewWindow3 = 273;
// NewWindow3's flag for a new window that a user's action asked for.
constexpr long kNewWindowUserInitiated = 0x2;

// IDownloadManager, {988934A4-064B-11D3-BB80-00104B35E7F9}, which is also
// the service id under which the control asks its site for one.
constexpr IID kIidDownloadManager = {
    0x988934A4, 0x064B, 0x11D3, {0xBB, 0x80, 0x00, 0x10, 0x4B, 0x35, 0xE7, 0xF9}};

// WinINet's process-wide option that keeps persistent cookies in memory.
constexpr DWORD kSuppressCookiePersist = 3;

// Reference counting for the site objects: the last Release frees the object
// that make_com created.
template <class Derived>
class RefCount {
 public:
  ULONG add_ref() { return ++refs_; }
  ULONG release() {
    const ULONG left = --refs_;
    if (left == 0) std::default_delete<Derived>{}(static_cast<Derived*>(this));
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

template <class T, class... Args>
ComPtr<T> make_com(Args&&... args) {
  return ComPtr<T>::attach(std::make_unique<T>(std::forward<Args>(args)...).release());
}

struct BstrDeleter {
  void operator()(BSTR s) const { SysFreeString(s); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

// An event's argument by its position in the event's signature (the control
// passes them last first), seen through a by-reference VARIANT; null when
// the event came with fewer.
const VARIANT* argument(const DISPPARAMS& params, UINT position) {
  if (!params.rgvarg || position >= params.cArgs) return nullptr;
  const VARIANT* v = &params.rgvarg[params.cArgs - 1 - position];
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  return v;
}

std::wstring text_of(const VARIANT* v) {
  if (!v) return {};
  BSTR text = nullptr;
  if (v->vt == VT_BSTR) text = v->bstrVal;
  if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) text = *v->pbstrVal;
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

long number_of(const VARIANT* v) {
  if (!v) return 0;
  switch (v->vt) {
    case VT_I4:
    case VT_UI4:
      return v->lVal;
    case VT_INT:
    case VT_UINT:
      return v->intVal;
    case VT_BYREF | VT_I4:
    case VT_BYREF | VT_UI4:
      return v->plVal ? *v->plVal : 0;
    default:
      return 0;
  }
}

// Whether a VARIANT_BOOL argument is true.
bool flag_of(const VARIANT* v) {
  if (!v) return false;
  if (v->vt == VT_BOOL) return v->boolVal != VARIANT_FALSE;
  if (v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) return *v->pboolVal != VARIANT_FALSE;
  return false;
}

// Sets an event's by-reference Cancel argument.
void cancel(const VARIANT* v) {
  if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) *v->pboolVal = VARIANT_TRUE;
}

// An address as the rules read it: the scheme is ASCII, so a character that
// has no UTF-8 form only has to stay a non-scheme character.
std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

// An address as the control gives a well-formed one: no control character
// anywhere and no space at either end, so that the handler it goes to reads
// the same scheme as the rule did.
bool plain_address(const std::wstring& address) {
  if (address.empty() || address.front() == L' ' || address.back() == L' ') return false;
  for (wchar_t c : address) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

void open_in_browser(const std::wstring& address) {
  ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool keep_cookies_in_memory() {
  static const bool kept = [] {
    DWORD behaviour = kSuppressCookiePersist;
    return InternetSetOptionW(nullptr, INTERNET_OPTION_SUPPRESS_BEHAVIOR, &behaviour,
                              sizeof behaviour) != FALSE;
  }();
  return kept;
}

// COM interfaces have no virtual destructors by design: objects are freed
// through Release, never through an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The frame the control asks for during activation: the pane's top-level
// window. It keeps the control's active object for keyboard translation.
class BrowserFrame final : public IOleInPlaceFrame, public RefCount<BrowserFrame> {
 public:
  explicit BrowserFrame(HWND host) : host_(host) {}
  virtual ~BrowserFrame() = default;

  IOleInPlaceActiveObject* active() const { return active_.get(); }
  void detach() { active_.reset(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
        iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return release(); }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
    if (!hwnd) return E_POINTER;
    *hwnd = GetAncestor(host_, GA_ROOT);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceUIWindow: the pane has no toolbars.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    if (object) object->AddRef();
    active_ = ComPtr<IOleInPlaceActiveObject>::attach(object);
    return S_OK;
  }

  // IOleInPlaceFrame: no menus, no status bar.
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND host_;
  ComPtr<IOleInPlaceActiveObject> active_;
};

// The pane's answer to the control's events: it keeps the pane on web pages,
// opens no window and saves no file.
class BrowserEvents final : public IDispatch, public RefCount<BrowserEvents> {
 public:
  explicit BrowserEvents(BrowserPane::OpenInBrowser open) : open_(std::move(open)) {}
  virtual ~BrowserEvents() = default;

  // The pane is going: no more addresses are handed on.
  void detach() { open_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kDiidWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return release(); }

  // IDispatch: called by dispatch id only.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (!params) return S_OK;
    switch (id) {
      case kDispidBeforeNavigate2:
        // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel),
        // for the page and for each of its frames.
        if (!pane_may_load(narrow(text_of(argument(*params, 1))))) {
          cancel(argument(*params, 6));
        }
        break;
      case kDispidNewWindow3: {
        // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl): no window is
        // ever made; a user's click sends a web address to the browser.
        cancel(argument(*params, 1));
        const std::wstring address = text_of(argument(*params, 4));
        if ((number_of(argument(*params, 2)) & kNewWindowUserInitiated) && plain_address(address) &&
            browser_may_open(narrow(address))) {
          // A copy: the call may pump messages, and the pane may go meanwhile.
          const BrowserPane::OpenInBrowser open = open_;
          if (open) open(address);
        }
        break;
      }
      case kDispidNewWindow2:
        // (ppDisp, Cancel): what controls without NewWindow3 fire.
        cancel(argument(*params, 1));
        break;
      case kDispidFileDownload:
        // (ActiveDocument, Cancel): a file the pane would not show itself
        // would be saved. A document the pane shows in place (every page
        // it loads) fires this too, with ActiveDocument true.
        if (!flag_of(argument(*params, 0))) cancel(argument(*params, 1));
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  BrowserPane::OpenInBrowser open_;
};

// The download manager the control asks its site for: it takes every
// download and drops it, so the control neither saves a file nor asks where.
class DroppingDownloads final : public IDownloadManager, public RefCount<DroppingDownloads> {
 public:
  virtual ~DroppingDownloads() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIidDownloadManager) {
      *out = static_cast<IDownloadManager*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return release(); }

  HRESULT STDMETHODCALLTYPE Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR,
                                     LPCOLESTR, UINT) override {
    // Taken, so the control does not fall back on its own download dialog;
    // nothing is fetched.
    return S_OK;
  }
};

// The client site and in-place site of one pane.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IServiceProvider,
                          public RefCount<BrowserSite> {
 public:
  explicit BrowserSite(HWND host) : host_(host), frame_(make_com<BrowserFrame>(host)) {}
  virtual ~BrowserSite() = default;

  BrowserFrame& frame() { return *frame_.get(); }
  void set_object(IOleObject* object) { object_ = object; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
  ULONG STDMETHODCALLTYPE Release() override { return release(); }

  // IOleClientSite: nothing is stored, so there is nothing to save.
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
    if (!hwnd) return E_POINTER;
    *hwnd = host_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = frame_.get();
    frame_->AddRef();
    *doc = nullptr;
    GetClientRect(host_, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override {
    if (!rect) return E_POINTER;
    if (!object_) return S_OK;
    ComPtr<IOleInPlaceObject> in_place;
    object_->QueryInterface(IID_IOleInPlaceObject, in_place.put_void());
    return in_place ? in_place->SetObjectRects(rect, rect) : S_OK;
  }

  // IServiceProvider: the download manager, and nothing else.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (service != kIidDownloadManager) return E_NOINTERFACE;
    return make_com<DroppingDownloads>()->QueryInterface(iid, out);
  }

 private:
  HWND host_;
  ComPtr<BrowserFrame> frame_;
  IOleObject* object_ = nullptr;  // not counted: the pane holds the reference
};

#pragma GCC diagnostic pop

Error automation_error(HRESULT hr, std::wstring_view description) {
  std::string text = "Automation error";
  if (!description.empty()) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, description.data(), static_cast<int>(description.size()),
                            nullptr, 0, nullptr, nullptr);
    std::string d(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, description.data(), static_cast<int>(description.size()),
                        d.data(), n, nullptr, nullptr);
    text += "\n" + d;
  }
  return {static_cast<int>(hr), text};
}

BrowserPane::BrowserPane(HWND host, SIZE extent, OpenInBrowser open)
    : host_(host),
      site_(make_com<BrowserSite>(host)),
      events_(make_com<BrowserEvents>(std::move(open))) {
  keep_cookies_in_memory();
  ComPtr<IOleObject> object;
  create_result_ = CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    object.put_void());
  if (FAILED(create_result_)) return;
  object_ = object;
  site_->set_object(object_.get());
  // The events are watched before anything can navigate. A control that
  // will not report them does not stay: it could go anywhere.
  const ComPtr<IConnectionPointContainer> sources =
      object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
  create_result_ = sources
                       ? sources->FindConnectionPoint(kDiidWebBrowserEvents2, events_source_.put())
                       : E_NOINTERFACE;
  if (SUCCEEDED(create_result_)) {
    create_result_ =
        events_source_->Advise(static_cast<IDispatch*>(events_.get()), &events_cookie_);
    if (FAILED(create_result_)) events_cookie_ = 0;
  }
  if (FAILED(create_result_)) {
    close();
    return;
  }
  create_result_ = object_->SetClientSite(static_cast<IOleClientSite*>(site_.get()));
  if (SUCCEEDED(create_result_)) {
    OleSetContainedObject(object_.get(), TRUE);
    SIZEL size{extent.cx, extent.cy};
    object_->SetExtent(DVASPECT_CONTENT, &size);  // a hint; the host's rectangle rules
    RECT rect;
    GetClientRect(host_, &rect);
    create_result_ = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                     static_cast<IOleClientSite*>(site_.get()), 0, host_, &rect);
  }
  if (FAILED(create_result_)) close();
}

BrowserPane::~BrowserPane() {
  close();
}

void BrowserPane::close() {
  if (events_source_) {
    if (events_cookie_) events_source_->Unadvise(events_cookie_);
    events_cookie_ = 0;
    events_source_.reset();
  }
  if (events_) events_->detach();
  if (object_) {
    ComPtr<IOleInPlaceObject> in_place = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (in_place) in_place->InPlaceDeactivate();
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_.reset();
  }
  if (site_) {
    site_->set_object(nullptr);
    site_->frame().detach();
  }
}

IDispatch* BrowserPane::events() const {
  return events_.get();
}

bool BrowserPane::has_control() const {
  return static_cast<bool>(object_);
}

Status BrowserPane::navigate(std::string_view url) {
  if (!object_) return automation_error(FAILED(create_result_) ? create_result_ : E_FAIL);
  const std::optional<std::wstring> wide = widen(url);
  if (!wide) return automation_error(E_INVALIDARG);
  // The control may call back into the host, or pump messages, while it
  // takes the request; hold our own references for the whole call.
  const ComPtr<IOleObject> keep = object_;
  ComPtr<IDispatch> dispatch = keep.query<IDispatch>(IID_IDispatch);
  if (!dispatch) return automation_error(E_NOINTERFACE);

  UniqueBstr address(SysAllocStringLen(wide->data(), static_cast<UINT>(wide->size())));
  if (!address) return err::out_of_memory();
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = address.get();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  const HRESULT hr = dispatch->Invoke(kDispidNavigate, IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_METHOD, &params, nullptr, &exception, &bad_argument);
  UniqueBstr source(exception.bstrSource);
  UniqueBstr description(exception.bstrDescription);
  UniqueBstr help_file(exception.bstrHelpFile);
  if (hr == DISP_E_EXCEPTION) {
    const HRESULT code = exception.scode ? exception.scode : E_FAIL;
    return automation_error(
        code, description ? std::wstring_view(description.get()) : std::wstring_view());
  }
  if (FAILED(hr)) return automation_error(hr);
  return {};
}

Status BrowserPane::set_rect(const RECT& rect) {
  if (!object_) return {};
  ComPtr<IOleInPlaceObject> in_place = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (!in_place) return {};
  const HRESULT hr = in_place->SetObjectRects(&rect, &rect);
  if (FAILED(hr)) return automation_error(hr);
  return {};
}

bool BrowserPane::translate_accelerator(MSG& msg) {
  if (!site_ || !object_) return false;
  IOleInPlaceActiveObject* active = site_->frame().active();
  if (!active || (msg.hwnd != host_ && !IsChild(host_, msg.hwnd))) return false;
  return active->TranslateAccelerator(&msg) == S_OK;
}

void BrowserPane::focus() {
  if (object_) {
    // UI activation puts the focus into the page.
    RECT rect;
    GetClientRect(host_, &rect);
    const ComPtr<IOleObject> keep = object_;
    keep->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.get()), 0, host_,
                 &rect);
  }
  HWND focus = GetFocus();
  if (focus != host_ && !IsChild(host_, focus)) SetFocus(host_);
}

}  // namespace tav::win32
