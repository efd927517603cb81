#include "platform/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/error.h"

namespace tav {

namespace {

float narrow(double d) {
  if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
    throw RuntimeError(err::overflow());
  }
  return static_cast<float>(d);
}

}  // namespace

float to_single(const Variant& v) {
  if (std::holds_alternative<std::monostate>(v)) return 0.0f;
  if (const float* f = std::get_if<float>(&v)) return *f;
  if (const double* d = std::get_if<double>(&v)) return narrow(*d);
  const std::string& s = std::get<std::string>(v);
  const auto first = s.find_first_not_of(' ');
  const auto last = s.find_last_not_of(' ');
  if (first == std::string::npos) throw RuntimeError(err::type_mismatch());
  const char* begin = s.data() + first;
  const char* end = s.data() + last + 1;
  double d = 0;
  auto [ptr, ec] = std::from_chars(begin, end, d);
  if (ec == std::errc::result_out_of_range) throw RuntimeError(err::overflow());
  if (ec != std::errc() || ptr != end || !std::isfinite(d)) {
    throw RuntimeError(err::type_mismatch());
  }
  return narrow(d);
}

}  // namespace tav
