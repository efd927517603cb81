#include "updates_window/Form1.h"

#include "links/link_label.h"

namespace tavrino {

void Form1::Click(std::string_view control, const std::int16_t& Index) {
  if (control == "Label3") Label3_Click();
  if (control == "Label2") Label2_Click(Index);
}

void Form1::Form_Load() {
  control("WebBrowser2").Navigate(kUpdatesPage);
}

// "Click here to close": this window alone.
void Form1::Label3_Click() {
  runtime().global_object().Unload(*this);
}

// "Click Here for More Softwares"
void Form1::Label2_Click(const std::int16_t& Index) {
  link_label_click(*this, "Label2", Index);
}

}  // namespace tavrino
