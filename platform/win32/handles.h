#pragma once
// Owners for the native handles the Win32 backend holds: windows, GDI
// objects, kernel handles and COM interface pointers, plus the UTF-8 to
// UTF-16 conversion every Win32 call needs. Each owner releases its handle
// exactly once, when it goes out of scope.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <unknwn.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tav::win32 {

struct WindowDeleter {
  using pointer = HWND;
  void operator()(HWND h) const {
    if (h) DestroyWindow(h);
  }
};
// A top-level window. Child windows are owned by their parent window, which
// destroys them with itself, so they are held as plain HWNDs.
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

template <class H>
struct GdiDeleter {
  using pointer = H;
  void operator()(H h) const {
    if (h) DeleteObject(h);
  }
};
template <class H>
using UniqueGdi = std::unique_ptr<std::remove_pointer_t<H>, GdiDeleter<H>>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniqueBitmap = UniqueGdi<HBITMAP>;

struct HandleDeleter {
  using pointer = HANDLE;
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleDeleter>;

// A counted reference to a COM interface: AddRef on copy, Release on drop.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT: implicit like a raw pointer
  // Takes over a reference the caller already owns.
  static ComPtr attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: drops the current reference first.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  template <class U>
  ComPtr<U> query(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// UTF-8 to UTF-16; nullopt when the text is not valid UTF-8.
inline std::optional<std::wstring> widen(std::string_view s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(),
                                    static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), w.data(),
                      n);
  return w;
}

// Stored texts are UTF-8 constants; an invalid one shows as replacement marks.
inline std::wstring widen_lossy(std::string_view s) {
  if (auto w = widen(s)) return *w;
  std::wstring w(s.size(), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(),
                      static_cast<int>(w.size()));
  return w.c_str();
}

}  // namespace tav::win32
