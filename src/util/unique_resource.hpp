#pragma once
// One move-only owner for every resource the system gets from the operating system (handles,
// descriptors, search and directory handles, system-allocated buffers), in the manner of WIL's
// unique_any: the type names the release function and the value that means "nothing owned", so
// an owner wrapping a call's result is empty exactly when that call failed.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace vantrel {

// `Empty` may be given as an integer for a pointer-like `T`: Win32's INVALID_HANDLE_VALUE is the
// pointer -1, which is no constant expression and so cannot be a template argument itself.
template <typename T, auto Release, auto Empty>
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

    [[nodiscard]] static T empty() noexcept {
        if constexpr (std::is_pointer_v<T> && std::is_integral_v<decltype(Empty)>)
            return reinterpret_cast<T>(static_cast<std::intptr_t>(Empty));
        else
            return static_cast<T>(Empty);
    }

    [[nodiscard]] T get() const noexcept { return value_; }
    [[nodiscard]] explicit operator bool() const noexcept { return value_ != empty(); }
    [[nodiscard]] T release() noexcept { return std::exchange(value_, empty()); }
    void reset(T value = empty()) noexcept {
        const T previous = std::exchange(value_, value);
        if (previous != empty()) Release(previous);
    }

private:
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
