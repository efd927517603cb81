#pragma once
// Run-time errors of the GUI runtime: a number and a description, as the
// Windows runtime numbers them. A failing operation throws RuntimeError; the
// event dispatch catches it at the edge of the event procedure and reports it.

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace tav {

struct Error {
  int number = 0;
  std::string description;
  friend bool operator==(const Error&, const Error&) = default;
};

// The runtime's own error numbers, where one fits the failure.
namespace err {
inline Error overflow() {
  return {6, "Overflow"};
}
inline Error division_by_zero() {
  return {11, "Division by zero"};
}
inline Error type_mismatch() {
  return {13, "Type mismatch"};
}
inline Error file_not_found() {
  return {53, "File not found"};
}
inline Error out_of_memory() {
  return {7, "Out of memory"};
}
inline Error object_required() {
  return {424, "Object required"};
}
inline Error invalid_property_value() {
  return {380, "Invalid property value"};
}
inline Error not_supported() {
  return {438, "Object doesn't support this property or method"};
}
inline Error cannot_load_or_unload() {
  return {365, "Unable to unload within this context"};
}
inline Error no_such_member(int index) {
  return {340, "Control array element '" + std::to_string(index) + "' doesn't exist"};
}
inline Error not_an_array() {
  return {343, "Object not an array"};
}
inline Error no_such_control() {
  return {730, "Control not found"};
}
inline Error invalid_procedure_call() {
  return {5, "Invalid procedure call or argument"};
}
inline Error internal_error() {
  return {51, "Internal error"};
}
inline Error automation() {
  return {-2147467259, "Automation error"};
}
}  // namespace err

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(Error e) : std::runtime_error(e.description), error_(std::move(e)) {}
  const Error& error() const { return error_; }

 private:
  Error error_;
};

// The message the runtime shows for an error that left an event procedure.
inline std::string report_text(const Error& e) {
  return "Run-time error '" + std::to_string(e.number) + "':\n\n" + e.description;
}

// Outcome of a backend operation: success or an error.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error e) : error_(std::move(e)) {}  // NOLINT: implicit by design
  bool ok() const { return !error_; }
  const Error& error() const { return *error_; }
  // Raises the error as a run-time error if there is one.
  void check() const {
    if (error_) throw RuntimeError(*error_);
  }

 private:
  std::optional<Error> error_;
};

// A value or an error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T v) : v_(std::move(v)) {}      // NOLINT: implicit by design
  Result(Error e) : v_(std::move(e)) {}  // NOLINT: implicit by design
  bool ok() const { return v_.index() == 0; }
  const Error& error() const { return std::get<1>(v_); }
  // The value, or the error raised as a run-time error.
  T value() const {
    if (!ok()) throw RuntimeError(error());
    return std::get<0>(v_);
  }

 private:
  std::variant<T, Error> v_;
};

}  // namespace tav
