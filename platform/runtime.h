#pragma once
// The GUI runtime the program is written against: windows with their stored
// layouts and event procedures, object creation into process-wide
// references, Show and Unload, one-at-a-time event dispatch, run-time errors
// and skip mode, and the end of the run when no window is loaded. A Backend
// makes the native things happen; this file holds the behaviour once.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>

#include "platform/backend.h"
#include "platform/error.h"
#include "platform/layout.h"
#include "platform/variant.h"

namespace tav {

class Runtime;
class Form;

// What the runtime needs of the project's settings.
struct ProjectInfo {
  std::string_view title;      // shown on the runtime's own messages
  std::string_view help_file;  // opened by F1
  std::function<std::unique_ptr<Form>(Runtime&)> create_startup_form;
};

// Every object the runtime creates: windows and the global object.
class Object {
 public:
  explicit Object(Runtime& rt) : rt_(rt) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  Runtime& runtime() const { return rt_; }

 private:
  Runtime& rt_;
};

// A process-wide object reference: empty at start, filled once by object
// creation, never cleared.
template <class T>
class ObjectRef {
 public:
  bool empty() const { return !object_; }
  T& operator*() const { return *object_; }
  T* operator->() const { return object_.get(); }

 private:
  friend class Runtime;
  std::unique_ptr<T> object_;
};

// A control of a loaded window, as an event procedure sees it.
class Control {
 public:
  Control(Form& form, ControlId id) : form_(&form), id_(id) {}
  const ControlRecord& record() const;

  // Browser pane.
  void Navigate(std::string_view url) const;
  void set_Width(float twips) const;
  void set_Height(float twips) const;
  Variant Top() const;

  // A link label's link address.
  std::string link_address() const;

 private:
  void require(Kind kind) const;
  Form* form_;
  ControlId id_;
};

// A control array of a loaded window; lookup by 16-bit index.
class ControlArray {
 public:
  ControlArray(Form& form, std::string_view name) : form_(&form), name_(name) {}
  Control operator()(std::int16_t index) const;

 private:
  Form* form_;
  std::string_view name_;
};

// A window class: its stored layout and the event procedures it binds.
class Form : public Object {
 public:
  Form(Runtime& rt, const Layout& layout) : Object(rt), layout_(layout) {}

  const Layout& layout() const { return layout_; }
  bool loaded() const { return window_ != 0; }
  WindowId window() const { return window_; }

  // Event procedures; a window overrides those it binds.
  virtual void Form_Load() {}
  virtual void Form_Resize() {}
  // Click of a control; `Index` is the member index of a control-array
  // member and kNoIndex otherwise.
  virtual void Click(std::string_view control, const std::int16_t& Index) {
    (void)control;
    (void)Index;
  }

  // Control access by name.
  Control control(std::string_view name);
  ControlArray controls(std::string_view name);

  float ScaleWidth() const;
  float ScaleHeight() const;

 private:
  friend class Runtime;
  friend class Control;
  const Layout& layout_;
  WindowId window_ = 0;  // 0: not loaded
  std::optional<SizeTwips> last_size_;
  bool shown_ = false;
};

// The runtime's global object: Unload lives here.
class Global : public Object {
 public:
  static constexpr std::string_view class_name = "Global";
  using Object::Object;
  void Unload(Form& form) const;
};

class Runtime final : public EventSink {
 public:
  Runtime(Backend& backend, ProjectInfo project);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // Creates, loads and shows the start-up window and runs the message loop
  // until no window is loaded. Returns the process exit status.
  int start();

  // Object creation into a process-wide reference; the caller creates only
  // while the reference is empty.
  template <class T>
  void create_object(ObjectRef<T>& ref) {
    backend_.create_object(T::class_name).check();
    ref.object_ = std::make_unique<T>(*this);
  }

  // The process-wide reference for objects of class T (a default instance).
  template <class T>
  ObjectRef<T>& reference() {
    auto& slot = references_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_unique<Holder<T>>();
    return static_cast<Holder<T>&>(*slot).ref;
  }
  ObjectRef<Global>& global_reference() { return reference<Global>(); }

  // The default instance of window class T, created into its reference on
  // first use: the same window every time after that.
  template <class T>
  T& default_instance() {
    ObjectRef<T>& ref = reference<T>();
    if (ref.empty()) create_object(ref);
    return *ref;
  }
  // The global object, through which every window unloads itself: created
  // by whichever window closes first, shared by all.
  Global& global_object() {
    ObjectRef<Global>& ref = global_reference();
    if (ref.empty()) create_object(ref);
    return *ref;
  }

  // Loads the window if needed (its Load procedure runs), then shows it
  // modeless with no owner; returns at once.
  void Show(Form& form);
  // Unloads that window alone; the run ends when none is left.
  void Unload(Form& form);

  // Starts the program that the command line names; returns its task id.
  double Shell(std::string_view command_line, int window_style);

  Backend& backend() { return backend_; }
  std::size_t loaded_windows() const { return forms_.size(); }

  // EventSink
  void clicked(WindowId window, ControlId control) noexcept override;
  void inner_size_changed(WindowId window, SizeTwips size) noexcept override;
  void close_requested(WindowId window) noexcept override;
  void help_requested() noexcept override;

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
  };
  template <class T>
  struct Holder final : HolderBase {
    ObjectRef<T> ref;
  };

  // Runs work and reports any failure that leaves it as a run-time error
  // under the project's title; the program goes on.
  template <class F>
  void guard(F&& work) noexcept;
  void report(const Error& error) noexcept;
  // Runs an event procedure, or queues it while another one runs. A
  // run-time error that leaves the procedure is reported; the program goes on.
  void dispatch(WindowId window, std::function<void(Form&)> procedure);
  void run_procedure(WindowId window, const std::function<void(Form&)>& procedure);
  // Runs work as the outermost procedure, then the events it queued.
  void run_outermost(const std::function<void()>& work);
  Form* form_for(WindowId window) const;

  Backend& backend_;
  ProjectInfo project_;
  std::unique_ptr<Form> startup_;
  std::map<std::type_index, std::unique_ptr<HolderBase>> references_;
  std::map<WindowId, Form*> forms_;  // loaded windows
  WindowId next_window_ = 1;
  bool dispatching_ = false;
  bool running_ = false;
  std::deque<std::pair<WindowId, std::function<void(Form&)>>> pending_;
};

// Skip mode: runs each step in turn; a step that raises a run-time error is
// abandoned there, silently, and the next step runs.
template <class... Steps>
void skip_mode(Steps&&... steps) {
  auto run = [](auto& step) {
    try {
      step();
    } catch (const RuntimeError&) {
    }
  };
  (run(steps), ...);
}

// minuend - subtrahend stored in single precision. The floating-point
// conditions are cleared first; invalid operation, division by zero and
// overflow raise a run-time error, underflow and inexact results do not.
float single_difference(float minuend, const Variant& subtrahend);

// The string without leading and trailing spaces; other blanks stay.
std::string Trim(std::string_view s);

}  // namespace tav

namespace tav {
// Window styles of a launch.
inline constexpr int vbHide = 0;
inline constexpr int vbMaximizedFocus = 3;
}  // namespace tav
