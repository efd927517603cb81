#pragma once
// The program's browser panes on Linux: WebKitWebViews that share one network
// session held in memory alone, so a run leaves no cache, cookie or storage
// on disk; that save no download; that stay on web pages, handing a link's
// request for a new window to the desktop's browser; that load their page
// again when their web process dies under them; and whose web process ends
// with them.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/gobject_ptr.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitNetworkSession WebKitNetworkSession;
typedef struct _WebKitWebView WebKitWebView;

namespace tav::gtk {

// Crashes of one pane's web process: the page is loaded again after each,
// unless it is the third within a minute, which leaves the pane as it is.
class CrashPolicy {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kLimit = 3;
  static constexpr std::chrono::seconds kWindow{60};
  // Records a crash at `now`; true when the page is to be loaded again.
  bool reload_after_crash(Clock::time_point now);

 private:
  std::vector<Clock::time_point> crashes_;
};

class WebPanes {
 public:
  // Opens an address in the desktop's default browser.
  using OpenInBrowser = std::function<void(const std::string& uri)>;

  explicit WebPanes(OpenInBrowser open);
  ~WebPanes();
  WebPanes(const WebPanes&) = delete;
  WebPanes& operator=(const WebPanes&) = delete;

  // The network session of every pane of the run.
  WebKitNetworkSession* session() const { return session_.get(); }

  // A new pane (a floating reference, for its container to take).
  GtkWidget* create();

  // Ends the pane's web process at once: called when its window goes, so
  // that a page busy in a script cannot keep running after the program.
  static void end(GtkWidget* pane);

 private:
  struct Pane;
  static void forget(gpointer self, GObject* view);

  OpenInBrowser open_;
  GObjectPtr<WebKitNetworkSession> session_;
  std::map<const void*, std::unique_ptr<Pane>> panes_;
};

}  // namespace tav::gtk
