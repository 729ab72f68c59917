#pragma once
// A value or the reason there is none, returned across module boundaries instead of throwing.

#include <concepts>
#include <string>
#include <utility>
#include <variant>

namespace orlavine {

struct Error {
    std::string message;
};

template <class T>
class Result {
  public:
    Result(T value) : state_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
    Result(Error error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const std::string& error() const { return std::get<1>(state_).message; }

    // A result equals a value when it holds one equal to it.
    template <class U>
    requires std::equality_comparable_with<T, U>
    bool operator==(const U& other) const { return ok() && value() == other; }

  private:
    std::variant<T, Error> state_;
};

// For operations that return nothing but may fail.
struct Done {};
using Status = Result<Done>;

}  // namespace orlavine
