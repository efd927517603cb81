#include "links/link_label.h"

#include <string>

namespace tavrino {

void link_label_click(tav::Form& window, std::string_view array, const std::int16_t& Index) {
  const std::string address = tav::Trim(window.controls(array)(Index).link_address());
  const std::string command_line = std::string(kExplorer) + address;
  window.runtime().Shell(command_line, tav::vbMaximizedFocus);
}

}  // namespace tavrino
