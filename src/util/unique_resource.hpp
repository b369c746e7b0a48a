#pragma once
// One move-only owner for every resource the system gets from the operating system (handles,
// descriptors, search and directory handles, system-allocated buffers), in the manner of WIL's
// unique_any: the type names the release function and the values that mean "nothing owned", so
// an owner wrapping a call's result is empty exactly when that call failed.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace vantrel {

// `Empty` is what an empty owner holds and gives back (its reset value); `AlsoEmpty` are further
// values that own nothing either, never released: Win32 fails some calls with NULL and others
// with INVALID_HANDLE_VALUE, and a handle owner that took one for a handle would close it or, worse,
// test true after the call failed.
//
// A value may be given as an integer for a pointer-like `T`: Win32's INVALID_HANDLE_VALUE is the
// pointer -1, which is no constant expression and so cannot be a template argument itself.
template <typename T, auto Release, auto Empty, auto... AlsoEmpty>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    [[nodiscard]] static T empty() noexcept { return as_value<Empty>(); }
    [[nodiscard]] static bool is_empty(T value) noexcept {
        return value == as_value<Empty>() || ((value == as_value<AlsoEmpty>()) || ...);
    }

    [[nodiscard]] T get() const noexcept { return is_empty(value_) ? empty() : value_; }
    [[nodiscard]] explicit operator bool() const noexcept { return !is_empty(value_); }
    [[nodiscard]] T release() noexcept {
        const T value = std::exchange(value_, empty());
        return is_empty(value) ? empty() : value;
    }
    void reset(T value = empty()) noexcept {
        const T previous = std::exchange(value_, value);
        if (!is_empty(previous)) Release(previous);
    }
    // For a call that hands its resource back through an out-parameter (CreatePipe, an allocating
    // FormatMessageW): releases what is owned and gives the place the call writes into, so the
    // result is owned from the moment it exists, whatever the call writes on failure.
    [[nodiscard]] T* put() noexcept {
        reset();
        return &value_;
    }

private:
    template <auto Value>
    [[nodiscard]] static T as_value() noexcept {
        if constexpr (std::is_pointer_v<T> && std::is_integral_v<decltype(Value)>)
            return reinterpret_cast<T>(static_cast<std::intptr_t>(Value));
        else
            return static_cast<T>(Value);
    }

    T value_ = empty();
};

// Runs its action when the scope ends, on every path, unless released first: for a step that has
// no handle of its own to own, such as deleting a file written for the length of one call.
template <typename Action>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(Action action) noexcept : action_(std::move(action)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) action_();
    }
    void release() noexcept { armed_ = false; }

private:
    Action action_;
    bool armed_ = true;
};

}  // namespace vantrel
