#pragma once
// The about window: the about text over the sky picture, the help hint, a
// link label to the maker's site and "Close".

#include <string_view>

#include "platform/runtime.h"

namespace tavrino {

class frmabout final : public tav::Form {
 public:
  static constexpr std::string_view class_name = "frmabout";
  static const tav::Layout kLayout;

  explicit frmabout(tav::Runtime& rt) : Form(rt, kLayout) {}

  void Click(std::string_view control, const std::int16_t& Index) override;

 private:
  void Command1_Click();
  void lblURL_Click(const std::int16_t& Index);
};

}  // namespace tavrino
