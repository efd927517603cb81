#pragma once
// The project's settings: one constant record, handed to the runtime at start.

#include <array>
#include <cstdint>
#include <string_view>

#include "links/sites.h"
#include "platform/runtime.h"

namespace tavrino {

struct Component {
  std::string_view name;
  std::string_view prog_id;
  std::string_view file;
  std::string_view class_id;
};

struct ProjectSettings {
  std::string_view startup_window = "frmDownloadDisplay";
  std::array<std::string_view, 3> windows{"frmDownloadDisplay", "Form1", "frmabout"};
  std::array<Component, 2> components{{
      {"Inet", "InetCtlsObjects.Inet", "MSINET.OCX", "{48E59293-9880-11CF-9754-00AA00C00908}"},
      {"WebBrowser", "SHDocVwCtl.WebBrowser", "ieframe.dll",
       "{8856F961-340A-11D0-A96B-00C04FD705A2}"},
  }};
  bool single_threaded = true;
  std::uint16_t locale = 0x0409;
  std::string_view name = "Tavrino";
  std::string_view exe_name = "tavrino";
  std::string_view description = "tavrino1.5";
  std::string_view help_file = TAVRINO_PRODUCT_SITE "/1.5/help.html";
  std::string_view help_directory = TAVRINO_PRODUCT_SITE "/1.5/";
  int help_context = 0;
  int version_major = 1;
  int version_minor = 5;
  int version_revision = 0;
};

inline constexpr ProjectSettings kProject{};

// What the runtime is handed at start: the start-up window among them.
tav::ProjectInfo project_info();

}  // namespace tavrino
