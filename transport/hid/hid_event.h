#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <type_traits>
#include <typeinfo>
#include <utility>

// An event handler of the HID controller: a callable plus the identity of its routine. Two
// handlers bound to the same member function share a routine whatever their receivers, so the
// controller can hand a new default handler to exactly the devices that still carry the old one.
// A handler counts as set when it holds a routine.
namespace hid_event_detail {
// One counter for all handler types, so no two callables ever share a routine by accident.
inline std::uint64_t nextRoutineId() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace hid_event_detail

template <typename Signature>
class HidEvent;

template <typename R, typename... A>
class HidEvent<R(A...)> {
public:
    HidEvent() = default;
    HidEvent(std::nullptr_t) {}

    // A member function of a receiver (the window's handlers).
    template <typename C>
    HidEvent(C* receiver, R (C::*routine)(A...))
        : m_fn([receiver, routine](A... a) -> R { return (receiver->*routine)(a...); }),
          m_type(&typeid(C)) {
        static_assert(sizeof routine <= sizeof m_key);
        std::memcpy(m_key.data(), &routine, sizeof routine);
    }

    // Any other callable: a routine of its own, shared only with copies of this handler.
    template <typename F>
    requires(!std::is_same_v<std::decay_t<F>, HidEvent> &&
             !std::is_same_v<std::decay_t<F>, std::nullptr_t> && std::is_invocable_r_v<R, F&, A...>)
        HidEvent(F f)
        : m_fn(std::move(f)), m_type(nullptr) {
        const std::uint64_t id = hid_event_detail::nextRoutineId();
        std::memcpy(m_key.data(), &id, sizeof id);
    }

    explicit operator bool() const { return static_cast<bool>(m_fn); }
    // Both unset, or both set with the same routine.
    bool sameRoutine(const HidEvent& other) const {
        if (!m_fn || !other.m_fn) {
            return !m_fn && !other.m_fn;
        }
        return m_type == other.m_type && m_key == other.m_key;
    }
    R operator()(A... a) const { return m_fn(a...); }

private:
    std::function<R(A...)> m_fn;
    const std::type_info* m_type = nullptr;
    std::array<unsigned char, 16> m_key{};
};
