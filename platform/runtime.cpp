#include "platform/runtime.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <new>

#include "platform/focus_order.h"
#include "platform/geometry.h"

namespace tav {

// ---- Controls -----------------------------------------------------------

const ControlRecord& Control::record() const {
  return form_->layout().controls[id_];
}

void Control::require(Kind kind) const {
  if (!form_->loaded()) throw RuntimeError(err::object_required());
  if (record().kind != kind) throw RuntimeError(err::not_supported());
}

void Control::Navigate(std::string_view url) const {
  require(Kind::WebBrowser);
  form_->runtime().backend().navigate(form_->window(), id_, url).check();
}

void Control::set_Width(float twips) const {
  require(Kind::WebBrowser);
  if (!is_valid_size(twips)) throw RuntimeError(err::invalid_property_value());
  form_->runtime().backend().set_width(form_->window(), id_, twips).check();
}

void Control::set_Height(float twips) const {
  require(Kind::WebBrowser);
  if (!is_valid_size(twips)) throw RuntimeError(err::invalid_property_value());
  form_->runtime().backend().set_height(form_->window(), id_, twips).check();
}

Variant Control::Top() const {
  require(Kind::WebBrowser);
  return form_->runtime().backend().top(form_->window(), id_).value();
}

std::string Control::link_address() const {
  require(Kind::Label);
  return std::string(record().link);
}

Control ControlArray::operator()(std::int16_t index) const {
  const Layout& layout = form_->layout();
  bool is_array = false;
  for (const ControlRecord& c : layout.controls) {
    if (c.name == name_ && c.index != kNoIndex) is_array = true;
  }
  if (!is_array) throw RuntimeError(err::not_an_array());
  std::optional<ControlId> id = find_control(layout, name_, index);
  if (!id) throw RuntimeError(err::no_such_member(index));
  if (!form_->loaded()) throw RuntimeError(err::object_required());
  return Control(*form_, *id);
}

// ---- Forms --------------------------------------------------------------

Control Form::control(std::string_view name) {
  std::optional<ControlId> id = find_control(layout_, name);
  if (!id) throw RuntimeError(err::no_such_control());
  return Control(*this, *id);
}

ControlArray Form::controls(std::string_view name) {
  return ControlArray(*this, name);
}

float Form::ScaleWidth() const {
  if (!loaded()) throw RuntimeError(err::object_required());
  return runtime().backend().inner_size(window_).value().width;
}

float Form::ScaleHeight() const {
  if (!loaded()) throw RuntimeError(err::object_required());
  return runtime().backend().inner_size(window_).value().height;
}

void Global::Unload(Form& form) const {
  runtime().Unload(form);
}

// ---- Runtime ------------------------------------------------------------

Runtime::Runtime(Backend& backend, ProjectInfo project)
    : backend_(backend), project_(std::move(project)) {
  backend_.attach(*this);
}

Runtime::~Runtime() = default;

void Runtime::report(const Error& error) noexcept {
  try {
    backend_.report_error(project_.title, error);
  } catch (...) {
    // Nothing is left to tell the user with.
  }
}

template <class F>
void Runtime::guard(F&& work) noexcept {
  try {
    work();
  } catch (const RuntimeError& e) {
    report(e.error());
  } catch (const std::bad_alloc&) {
    report(err::out_of_memory());
  } catch (...) {
    report(err::internal_error());
  }
}

int Runtime::start() {
  running_ = true;
  // Start-up counts as one procedure: events raised while the start-up
  // window loads and shows wait until it is shown.
  run_outermost([this] {
    guard([this] {
      startup_ = project_.create_startup_form(*this);
      Show(*startup_);
    });
  });
  if (!forms_.empty()) backend_.run();
  backend_.wait_for_reports();
  return 0;
}

void Runtime::Show(Form& form) {
  if (!form.loaded()) {
    const WindowId id = next_window_++;
    backend_.create_window(id, form.layout()).check();
    form.window_ = id;
    forms_[id] = &form;
    // Loading runs the Load procedure before the window first shows.
    run_procedure(id, [](Form& f) { f.Form_Load(); });
    if (!form.loaded()) return;  // the Load procedure unloaded it
  }
  const bool was_shown = form.shown_;
  form.shown_ = true;
  const Status shown = backend_.show_window(form.window_);
  if (!shown.ok()) {
    form.shown_ = was_shown;
    shown.check();
  }
  // A window shown for the first time since it was loaded starts with the
  // focus on the first control of its tab order; showing it again leaves the
  // focus where the user put it.
  if (!was_shown && form.loaded()) {
    const std::vector<ControlId> order = focus_order(form.layout());
    if (!order.empty()) backend_.focus(form.window_, order.front());
  }
}

void Runtime::Unload(Form& form) {
  if (!form.loaded()) return;
  const WindowId id = form.window_;
  backend_.destroy_window(id).check();
  forms_.erase(id);
  form.window_ = 0;
  form.shown_ = false;
  form.last_size_.reset();
  if (forms_.empty() && running_) backend_.quit();
}

double Runtime::Shell(std::string_view command_line, int window_style) {
  if (window_style < 0 || window_style > 6) throw RuntimeError(err::invalid_procedure_call());
  return backend_.launch(command_line, window_style).value();
}

Form* Runtime::form_for(WindowId window) const {
  auto it = forms_.find(window);
  return it == forms_.end() ? nullptr : it->second;
}

void Runtime::run_procedure(WindowId window, const std::function<void(Form&)>& procedure) {
  Form* form = form_for(window);
  if (!form) return;  // unloaded since the event was raised
  guard([&] { procedure(*form); });
}

void Runtime::dispatch(WindowId window, std::function<void(Form&)> procedure) {
  if (dispatching_) {
    pending_.emplace_back(window, std::move(procedure));
    return;
  }
  run_outermost([&] { run_procedure(window, procedure); });
}

void Runtime::run_outermost(const std::function<void()>& work) {
  dispatching_ = true;
  work();
  while (!pending_.empty()) {
    auto [w, p] = std::move(pending_.front());
    pending_.pop_front();
    run_procedure(w, p);
  }
  dispatching_ = false;
}

void Runtime::clicked(WindowId window, ControlId control) noexcept {
  guard([&] {
    Form* form = form_for(window);
    if (!form || control >= form->layout().controls.size()) return;
    const ControlRecord& c = form->layout().controls[control];
    dispatch(window, [name = c.name, index = c.index](Form& f) { f.Click(name, index); });
  });
}

void Runtime::inner_size_changed(WindowId window, SizeTwips size) noexcept {
  guard([&] {
    Form* form = form_for(window);
    if (!form || !form->shown_) return;
    if (form->last_size_ && *form->last_size_ == size) return;
    form->last_size_ = size;
    dispatch(window, [](Form& f) { f.Form_Resize(); });
  });
}

void Runtime::close_requested(WindowId window) noexcept {
  guard([&] { dispatch(window, [](Form& f) { f.runtime().Unload(f); }); });
}

void Runtime::help_requested() noexcept {
  guard([&] { backend_.open_help(project_.help_file); });
}

// ---- Helpers ------------------------------------------------------------

float single_difference(float minuend, const Variant& subtrahend) {
  std::feclearexcept(FE_ALL_EXCEPT);
  const float sub = to_single(subtrahend);
  volatile double a = minuend;
  volatile double b = sub;
  volatile double d = a - b;
  volatile float result = static_cast<float>(d);
  int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  // A quiet NaN operand raises nothing in hardware; it is an invalid
  // operation all the same. An infinite difference is beyond single range.
  if (std::isnan(result)) raised |= FE_INVALID;
  if (std::isinf(result)) raised |= FE_OVERFLOW;
  if (raised & FE_DIVBYZERO) throw RuntimeError(err::division_by_zero());
  if (raised) throw RuntimeError(err::overflow());
  return result;
}

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace tav
