#include "platform/gtk/web_pane.h"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit/webkit.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

#include <algorithm>
#include <set>

#include "platform/web_rules.h"

namespace tav::gtk {

namespace {

// A page may ask for a new window only in answer to the user: a script on
// its own gets nothing.
void open_if_asked(WebKitNavigationAction* action, const WebPanes::OpenInBrowser& open) {
  if (!action || !webkit_navigation_action_is_user_gesture(action)) return;
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  if (uri && browser_may_open(uri)) open(uri);
}

// The panes alive in the process, for a run that ends without its windows
// being torn down.
std::set<WebKitWebView*>& live_panes() {
  static std::set<WebKitWebView*> panes;
  return panes;
}

// When the X server goes away, GDK ends the process on the spot; a web
// process busy in a script would run on for seconds. This handler, in place
// of GDK's, ends the panes' web processes first.
void end_panes_with_display() {
#ifdef GDK_WINDOWING_X11
  if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) return;
  XSetIOErrorHandler([](Display*) -> int {
    for (WebKitWebView* view : live_panes()) webkit_web_view_terminate_web_process(view);
    _exit(1);
  });
#endif
}

}  // namespace

bool CrashPolicy::reload_after_crash(Clock::time_point now) {
  std::erase_if(crashes_, [&](Clock::time_point t) { return now - t >= kWindow; });
  crashes_.push_back(now);
  return crashes_.size() < static_cast<std::size_t>(kLimit);
}

// What the program keeps of one pane.
struct WebPanes::Pane {
  WebPanes* owner = nullptr;
  CrashPolicy crashes;
};

WebPanes::WebPanes(OpenInBrowser open)
    : open_(std::move(open)), session_(adopt(webkit_network_session_new_ephemeral())) {
  // Every download a page starts, by script or by a link, is dropped before
  // anything is written or anyone is asked.
  g_signal_connect(session_.get(), "download-started",
                   G_CALLBACK(+[](WebKitNetworkSession*, WebKitDownload* download, gpointer) {
                     webkit_download_cancel(download);
                   }),
                   nullptr);
  end_panes_with_display();
}

WebPanes::~WebPanes() {
  for (auto& [view, pane] : panes_) {
    g_object_weak_unref(G_OBJECT(const_cast<void*>(view)), &WebPanes::forget, this);
    live_panes().erase(static_cast<WebKitWebView*>(const_cast<void*>(view)));
  }
}

void WebPanes::forget(gpointer self, GObject* view) {
  static_cast<WebPanes*>(self)->panes_.erase(view);
  live_panes().erase(reinterpret_cast<WebKitWebView*>(view));
}

GtkWidget* WebPanes::create() {
  GtkWidget* w =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session_.get(), nullptr));
  WebKitWebView* view = WEBKIT_WEB_VIEW(w);
  // The pages are plain documents: software rendering without compositing
  // starts faster and takes half the memory.
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

  auto pane = std::make_unique<Pane>();
  pane->owner = this;
  Pane* p = pane.get();
  panes_[view] = std::move(pane);
  g_object_weak_ref(G_OBJECT(view), &WebPanes::forget, this);
  live_panes().insert(view);

  g_signal_connect(view, "decide-policy",
                   G_CALLBACK(+[](WebKitWebView*, WebKitPolicyDecision* decision,
                                  WebKitPolicyDecisionType type, Pane* self) -> gboolean {
                     switch (type) {
                       case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
                         WebKitNavigationAction* action =
                             webkit_navigation_policy_decision_get_navigation_action(
                                 WEBKIT_NAVIGATION_POLICY_DECISION(decision));
                         WebKitURIRequest* request = webkit_navigation_action_get_request(action);
                         const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
                         if (uri && pane_may_load(uri)) return FALSE;
                         webkit_policy_decision_ignore(decision);
                         return TRUE;
                       }
                       case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION: {
                         // A link with a target of its own: its address goes to the
                         // desktop's browser, and the pane stays on its page.
                         open_if_asked(webkit_navigation_policy_decision_get_navigation_action(
                                           WEBKIT_NAVIGATION_POLICY_DECISION(decision)),
                                       self->owner->open_);
                         webkit_policy_decision_ignore(decision);
                         return TRUE;
                       }
                       case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
                         // A response the pane cannot show would become a download.
                         if (webkit_response_policy_decision_is_mime_type_supported(
                                 WEBKIT_RESPONSE_POLICY_DECISION(decision))) {
                           return FALSE;
                         }
                         webkit_policy_decision_ignore(decision);
                         return TRUE;
                     }
                     return FALSE;
                   }),
                   p);

  // window.open(): the same as a link's new window. No view is ever made.
  g_signal_connect(
      view, "create",
      G_CALLBACK(+[](WebKitWebView*, WebKitNavigationAction* action, Pane* self) -> GtkWidget* {
        open_if_asked(action, self->owner->open_);
        return nullptr;
      }),
      p);

  g_signal_connect(
      view, "web-process-terminated",
      G_CALLBACK(+[](WebKitWebView* v, WebKitWebProcessTerminationReason reason, Pane* self) {
        if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;  // the program ended it
        if (!self->crashes.reload_after_crash(CrashPolicy::Clock::now())) return;
        const char* uri = webkit_web_view_get_uri(v);
        if (!uri || !*uri) return;
        // A fresh GET of the page: a reload could send a form again.
        const std::string again(uri);
        webkit_web_view_load_uri(v, again.c_str());
      }),
      p);
  return w;
}

void WebPanes::end(GtkWidget* pane) {
  if (pane && WEBKIT_IS_WEB_VIEW(pane)) {
    webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(pane));
  }
}

}  // namespace tav::gtk
