#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace talvex {

/// What became of an operation, in the same words from the port up to
/// talvexctl's exit status. Each backend maps its own codes (errno, Win32,
/// D2XX, libusb, libcurl) onto it in one place.
enum class Status {
    Ok,
    TimedOut,    ///< nothing arrived: the device is silent
    Gone,        ///< the device vanished (unplugged) or does not exist
    Denied,      ///< no permission
    Busy,        ///< another program holds it
    Unsupported, ///< this system, library or device cannot do it
    Refused,     ///< the device answered, and said no
    BadInput,    ///< what was asked for is malformed or out of range
    Other,
};

/// A short English name for logs and test output ("gone", "time-out" …).
const char* statusName(Status status);

/// Why something failed: the kind, and the words of whoever said so (the
/// system's reason, a library's code, the step that failed).
struct Failure {
    Status status = Status::Other;
    std::string detail;

    bool operator==(const Failure&) const = default;
};

/// A value or the failure that stands in its place. `E` is `Failure` in
/// the core; a front end may carry its own verdict (talvexctl's exit
/// status) once the failure has been reported.
template <typename T, typename E = Failure>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() { return std::get<0>(m_state); }
    const T& value() const { return std::get<0>(m_state); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }

    /// Only when !ok().
    const E& error() const { return std::get<1>(m_state); }

    /// The failure; {Ok, ""} on success, so callers can report either.
    Failure failure() const
        requires std::is_same_v<E, Failure>
    {
        return ok() ? Failure{Status::Ok, {}} : std::get<1>(m_state);
    }
    Status status() const
        requires std::is_same_v<E, Failure>
    {
        return ok() ? Status::Ok : std::get<1>(m_state).status;
    }

private:
    std::variant<T, E> m_state;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E failure)
    {
        if constexpr (std::is_same_v<E, Failure>) {
            if (failure.status == Status::Ok)
                return;
        }
        m_failure = std::move(failure);
    }

    bool ok() const { return !m_failure; }
    explicit operator bool() const { return ok(); }
    /// Only when !ok().
    const E& error() const { return *m_failure; }

    Failure failure() const
        requires std::is_same_v<E, Failure>
    {
        return m_failure.value_or(Failure{Status::Ok, {}});
    }
    Status status() const
        requires std::is_same_v<E, Failure>
    {
        return m_failure ? m_failure->status : Status::Ok;
    }

private:
    std::optional<E> m_failure;
};

inline Failure fail(Status status, std::string detail = {})
{
    return Failure{status, std::move(detail)};
}

} // namespace talvex
