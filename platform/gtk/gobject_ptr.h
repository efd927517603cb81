#pragma once
// Owning pointers for GLib/GObject handles: one reference each, dropped with
// g_object_unref (or the type's own free function) when the owner goes.

#include <glib-object.h>

#include <memory>

namespace tav::gtk {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};

// Holds one reference to a GObject of type T.
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes over a reference the caller already owns (a *_new() result).
template <class T>
GObjectPtr<T> adopt(T* object) {
  return GObjectPtr<T>(object);
}

// Adds a reference of our own to an object that someone else owns; sinks a
// floating reference.
template <class T>
GObjectPtr<T> retain(T* object) {
  return GObjectPtr<T>(static_cast<T*>(g_object_ref_sink(object)));
}

struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct GErrorFree {
  void operator()(GError* e) const {
    if (e) g_error_free(e);
  }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Out-parameter adaptor for GError**: `GErrorPtr err; f(..., out(err));`
class ErrorOut {
 public:
  explicit ErrorOut(GErrorPtr& owner) : owner_(owner) {}
  ~ErrorOut() { owner_.reset(raw_); }
  ErrorOut(const ErrorOut&) = delete;
  ErrorOut& operator=(const ErrorOut&) = delete;
  operator GError**() { return &raw_; }  // NOLINT: implicit by design

 private:
  GErrorPtr& owner_;
  GError* raw_ = nullptr;
};
inline ErrorOut out(GErrorPtr& owner) {
  return ErrorOut(owner);
}

}  // namespace tav::gtk
