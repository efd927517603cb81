#include "about_window/frmabout.h"

#include "links/link_label.h"

namespace tavrino {

void frmabout::Click(std::string_view control, const std::int16_t& Index) {
  if (control == "Command1") Command1_Click();
  if (control == "lblURL") lblURL_Click(Index);
}

// "Close": this window alone.
void frmabout::Command1_Click() {
  runtime().global_object().Unload(*this);
}

// "Tavrino, Dovrent Team"
void frmabout::lblURL_Click(const std::int16_t& Index) {
  link_label_click(*this, "lblURL", Index);
}

}  // namespace tavrino
