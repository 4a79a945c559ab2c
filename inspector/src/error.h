// Failures as values: a chain of messages, outermost first.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vorbek {

class Error {
 public:
  explicit Error(std::string message) { messages_.push_back(std::move(message)); }

  // "{text} (os error {code})", the way every operating-system failure reads.
  static Error os(int code, std::string_view text);

  // The same chain with `context` as the new outermost message.
  Error wrap(std::string context) &&;

  const std::vector<std::string>& messages() const { return messages_; }
  const std::string& outermost() const { return messages_.front(); }

 private:
  std::vector<std::string> messages_;
};

// The report printed on stderr: "Error: ..." with an optional "Caused by:" list.
std::string format_failure_report(const Error& error);

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  // addressof: a COM pointer overloads &, which releases what it holds.
  T* operator->() { return std::addressof(value()); }
  const T* operator->() const { return std::addressof(value()); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const& { return std::get<1>(v_); }
  Error&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }

  const Error& error() const& { return *error_; }
  Error&& error() && { return std::move(*error_); }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace vorbek
