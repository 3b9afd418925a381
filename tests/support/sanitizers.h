#pragma once

// True in a build with AddressSanitizer, whose shadow memory takes terabytes of address space:
// tests that limit the address space (ulimit -v, RLIMIT_AS) cannot run there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif
