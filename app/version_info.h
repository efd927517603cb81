#pragma once
// The executable's version resource: fixed file and product version 1.5.0.0, US English with the
// Unicode code page, and these eight strings in this order.

#include <array>
#include <string_view>
#include <utility>

namespace tavrino::version {

inline constexpr int kFixed[4] = {1, 5, 0, 0};
inline constexpr unsigned kLanguage = 0x0409;
inline constexpr unsigned kCodePage = 0x04B0;

inline constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kStrings{{
    {"Comments",
     "There are almost most of the Asciii(Unicode/HTML) Identities will be displayed in the same "
     "panel of the software to let the (web-progtramming interested) user(s) to have a great "
     "opportunity of knowing of main key values of the English based and Sanskrit(Devnagari) "
     "based Fonts(including signs and symbols)."},
    {"CompanyName", "Dovrent"},
    {"FileDescription",
     "It is easy to type and see the output in Nepali Font. You just type in the first top "
     "textarea of the panel, at the same time, you will see the output in Nepali Font in the "
     "middle Textarea of the panel."},
    {"ProductName", "tavrino1.5.exe"},
    {"FileVersion", "1.05"},
    {"ProductVersion", "1.05"},
    {"InternalName", "tavrino1.5"},
    {"OriginalFilename", "tavrino1.5.exe"},
}};

}  // namespace tavrino::version
