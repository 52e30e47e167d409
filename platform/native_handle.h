#pragma once
// What an open file or process is to the system (a descriptor, a HANDLE), held by the
// portable classes as an opaque value that only the platform's own files interpret.

#include <cstdint>

namespace platform {

using NativeHandle = std::intptr_t;

// No handle: neither a descriptor nor a HANDLE a system call gives back (-1 is
// INVALID_HANDLE_VALUE on Windows).
constexpr NativeHandle kNoHandle = -1;

}  // namespace platform
