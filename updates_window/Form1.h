#pragma once
// The updates window: the updates page in a pane framed by picture strips,
// a link label to the maker's site and "Click here to close".

#include <string_view>

#include "links/sites.h"
#include "platform/runtime.h"

namespace tavrino {

class Form1 final : public tav::Form {
 public:
  static constexpr std::string_view class_name = "Form1";
  static const tav::Layout kLayout;
  static constexpr std::string_view kUpdatesPage = TAVRINO_PRODUCT_SITE "/1.5/updates.html";

  explicit Form1(tav::Runtime& rt) : Form(rt, kLayout) {}

  void Form_Load() override;
  void Click(std::string_view control, const std::int16_t& Index) override;

 private:
  void Label3_Click();
  void Label2_Click(const std::int16_t& Index);
};

}  // namespace tavrino
