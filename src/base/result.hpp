// Portable: the one expected-like shape in which fallible operations return a value or an error.
#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace ostrand {

template <typename E>
struct Failure {
    E error;
};

template <typename E>
Failure(E) -> Failure<E>;

// Holds either a value or an error. `Result<void, E>` holds only the error, if any.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & {
        assert(has_value());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(has_value());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(has_value());
        return std::get<0>(std::move(state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    E& error() & {
        assert(!has_value());
        return std::get<1>(state_);
    }
    const E& error() const& {
        assert(!has_value());
        return std::get<1>(state_);
    }
    E&& error() && {
        assert(!has_value());
        return std::get<1>(std::move(state_));
    }

private:
    std::variant<T, E> state_;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(Failure<E> failure) : error_(std::move(failure.error)), failed_(true) {}

    bool has_value() const { return !failed_; }
    explicit operator bool() const { return has_value(); }
    const E& error() const {
        assert(failed_);
        return error_;
    }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace ostrand
