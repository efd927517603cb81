#include "main_window/frmDownloadDisplay.h"

#include <string>

#include "about_window/frmabout.h"
#include "updates_window/Form1.h"

namespace tavrino {

void frmDownloadDisplay::Click(std::string_view control, const std::int16_t&) {
  if (control == "Command1") Command1_Click();
  if (control == "Command2") Command2_Click();
  if (control == "Command6") Command6_Click();
  if (control == "Label3") Label3_Click();
}

void frmDownloadDisplay::Form_Load() {
  control("WebBrowser1").Navigate(kTypingPage);
}

void frmDownloadDisplay::Form_Resize() {
  tav::skip_mode(
      // Width step: the pane takes the inner width; its Left is not used.
      [&] { control("WebBrowser1").set_Width(ScaleWidth()); },
      // Height step: the pane reaches from its top to the inner bottom edge.
      [&] {
        const tav::Control pane = control("WebBrowser1");
        const tav::Variant top = pane.Top();
        const float inner_height = ScaleHeight();
        pane.set_Height(tav::single_difference(inner_height, top));
      });
}

// "Update"
void frmDownloadDisplay::Command1_Click() {
  runtime().Show(runtime().default_instance<Form1>());
}

// "About"
void frmDownloadDisplay::Command2_Click() {
  runtime().Show(runtime().default_instance<frmabout>());
}

// "Exit": this window alone.
void frmDownloadDisplay::Command6_Click() {
  runtime().global_object().Unload(*this);
}

// The credit label launches the product page, hidden.
void frmDownloadDisplay::Label3_Click() {
  const std::string command_line(kCreditCommandLine);
  runtime().Shell(command_line, tav::vbHide);
}

}  // namespace tavrino
