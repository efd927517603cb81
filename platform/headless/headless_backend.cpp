#include "platform/headless/headless_backend.h"

#include <algorithm>

#include "platform/command_line.h"
#include "platform/focus_order.h"
#include "platform/geometry.h"

namespace tav {

namespace {
Error no_window() {
  return err::object_required();
}
}  // namespace

HeadlessBackend::Window* HeadlessBackend::lookup(WindowId id) {
  auto it =
      std::find_if(windows_.begin(), windows_.end(), [id](const Window& w) { return w.id == id; });
  return it == windows_.end() ? nullptr : &*it;
}

const HeadlessBackend::Window* HeadlessBackend::window(WindowId id) const {
  return const_cast<HeadlessBackend*>(this)->lookup(id);
}

const HeadlessBackend::Window* HeadlessBackend::find(std::string_view form) const {
  for (const Window& w : windows_) {
    if (w.layout->form.name == form) return &w;
  }
  return nullptr;
}

RectTwips HeadlessBackend::window_rect(WindowId id, ControlId control) const {
  const Window* w = window(id);
  RectTwips r = w->rects[control];
  for (auto c = container_of(*w->layout, control); c; c = container_of(*w->layout, *c)) {
    r.left += w->rects[*c].left;
    r.top += w->rects[*c].top;
  }
  return r;
}

// ---- driving

void HeadlessBackend::click(WindowId id, ControlId control) {
  if (Window* w = lookup(id); w && w->layout->controls[control].kind == Kind::CommandButton) {
    w->focused = control;
  }
  sink().clicked(id, control);
}

void HeadlessBackend::click(WindowId id, std::string_view name, std::int16_t index) {
  const Window* w = window(id);
  if (!w) return;
  if (auto c = find_control(*w->layout, name, index)) click(id, *c);
}

std::optional<ControlId> HeadlessBackend::hit(const Window& w, std::optional<ControlId> container,
                                              float x, float y) const {
  const auto order = stacking_order(*w.layout, container);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const RectTwips& r = w.rects[*it];
    if (x < r.left || y < r.top || x >= r.left + r.width || y >= r.top + r.height) continue;
    if (w.layout->controls[*it].kind == Kind::PictureBox) {
      if (auto child = hit(w, *it, x - r.left, y - r.top)) return child;
    }
    return *it;
  }
  return std::nullopt;
}

std::optional<ControlId> HeadlessBackend::hit_test(WindowId id, float x, float y) const {
  const Window* w = window(id);
  if (!w || !w->visible) return std::nullopt;
  if (x < 0 || y < 0 || x >= w->inner.width || y >= w->inner.height) return std::nullopt;
  return hit(*w, std::nullopt, x, y);
}

std::optional<ControlId> HeadlessBackend::click_at(WindowId id, float x, float y) {
  const auto target = hit_test(id, x, y);
  if (target && window(id)->layout->controls[*target].kind != Kind::WebBrowser) click(id, *target);
  return target;
}

void HeadlessBackend::resize(WindowId id, SizeTwips inner) {
  Window* w = lookup(id);
  if (!w) return;
  w->inner = inner;
  w->restore_size.reset();
  if (w->visible) sink().inner_size_changed(id, inner);
}

void HeadlessBackend::minimize(WindowId id) {
  Window* w = lookup(id);
  if (!w || w->restore_size) return;
  w->restore_size = w->inner;
  w->inner = {0, 0};
  sink().inner_size_changed(id, w->inner);
}

void HeadlessBackend::restore(WindowId id) {
  Window* w = lookup(id);
  if (!w || !w->restore_size) return;
  w->inner = *w->restore_size;
  w->restore_size.reset();
  sink().inner_size_changed(id, w->inner);
}

void HeadlessBackend::close(WindowId id) {
  sink().close_requested(id);
}

void HeadlessBackend::press_f1() {
  sink().help_requested();
}

void HeadlessBackend::press_tab(WindowId id, bool backward) {
  Window* w = lookup(id);
  if (!w || !w->visible) return;
  const std::vector<ControlId> order = focus_order(*w->layout);
  w->focused = next_focus(order, w->focused, backward, [w](ControlId c) {
    return w->rects[c].width > 0 && w->rects[c].height > 0;
  });
}

// ---- Backend

Status HeadlessBackend::create_window(WindowId id, const Layout& layout) {
  Window w;
  w.id = id;
  w.layout = &layout;
  w.inner = {static_cast<float>(layout.form.client_width),
             static_cast<float>(layout.form.client_height)};
  for (const ControlRecord& c : layout.controls) {
    w.rects.push_back({static_cast<float>(c.left), static_cast<float>(c.top),
                       static_cast<float>(c.width), static_cast<float>(c.height)});
  }
  windows_.push_back(std::move(w));
  ++created_;
  return {};
}

Status HeadlessBackend::show_window(WindowId id) {
  if (faults.show_fails) return err::out_of_memory();
  Window* w = lookup(id);
  if (!w) return no_window();
  const bool first = !w->visible;
  w->visible = true;
  ++w->show_count;
  if (first) sink().inner_size_changed(id, w->inner);
  return {};
}

Status HeadlessBackend::destroy_window(WindowId id) {
  if (faults.destroy_fails) return err::cannot_load_or_unload();
  auto it =
      std::find_if(windows_.begin(), windows_.end(), [id](const Window& w) { return w.id == id; });
  if (it == windows_.end()) return no_window();
  windows_.erase(it);
  return {};
}

Result<SizeTwips> HeadlessBackend::inner_size(WindowId id) {
  if (faults.inner_size_fails) return err::automation();
  Window* w = lookup(id);
  if (!w) return no_window();
  return w->inner;
}

void HeadlessBackend::focus(WindowId id, ControlId control) {
  Window* w = lookup(id);
  if (!w || !w->visible || control >= w->layout->controls.size()) return;
  if (takes_focus(w->layout->controls[control].kind)) w->focused = control;
}

Status HeadlessBackend::navigate(WindowId id, ControlId pane, std::string_view url) {
  if (faults.navigate_fails) return err::automation();
  if (!lookup(id)) return no_window();
  navigations_.push_back({id, pane, std::string(url)});
  return {};
}

Status HeadlessBackend::set_width(WindowId id, ControlId control, float twips) {
  if (faults.refuse_width) return err::invalid_property_value();
  Window* w = lookup(id);
  if (!w) return no_window();
  w->rects[control].width = twips;
  return {};
}

Status HeadlessBackend::set_height(WindowId id, ControlId control, float twips) {
  if (faults.refuse_height) return err::invalid_property_value();
  Window* w = lookup(id);
  if (!w) return no_window();
  w->rects[control].height = twips;
  return {};
}

Result<Variant> HeadlessBackend::top(WindowId id, ControlId control) {
  if (faults.top_fails) return err::automation();
  if (faults.top) return *faults.top;
  Window* w = lookup(id);
  if (!w) return no_window();
  return Variant(static_cast<double>(w->rects[control].top));
}

Result<double> HeadlessBackend::launch(std::string_view command_line, int style) {
  const std::string program = split_command_line(command_line).front();
  if (!installed_programs.contains(program) && !installed_programs.contains(program + ".exe")) {
    return err::file_not_found();
  }
  launches_.push_back({std::string(command_line), style});
  return next_task_++;
}

void HeadlessBackend::report_error(std::string_view title, const Error& error) {
  reports_.push_back({std::string(title), error});
}

void HeadlessBackend::open_help(std::string_view address) {
  help_.emplace_back(address);
}

Status HeadlessBackend::create_object(std::string_view) {
  if (faults.create_object_fails) return err::out_of_memory();
  return {};
}

}  // namespace tav
