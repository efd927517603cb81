#pragma once
// The main typing window: the browser pane with the typing page, fitted to
// the inner area; "Update", "About" and "Exit"; the credit label.

#include <string_view>

#include "links/sites.h"
#include "platform/runtime.h"

namespace tavrino {

class frmDownloadDisplay final : public tav::Form {
 public:
  static constexpr std::string_view class_name = "frmDownloadDisplay";
  static const tav::Layout kLayout;
  static constexpr std::string_view kTypingPage = TAVRINO_PRODUCT_SITE "/1.5/encrypted.html";
  static constexpr std::string_view kCreditCommandLine =
      "start.exe " TAVRINO_MAKER_SITE "/tavrino.html";

  explicit frmDownloadDisplay(tav::Runtime& rt) : Form(rt, kLayout) {}

  void Form_Load() override;
  void Form_Resize() override;
  void Click(std::string_view control, const std::int16_t& Index) override;

 private:
  void Command1_Click();
  void Command2_Click();
  void Command6_Click();
  void Label3_Click();
};

}  // namespace tavrino
