#pragma once
// C library file streams (fopen) with the layer's path rules.

#include <cstdio>
#include <string_view>

namespace platform {

// fopen with a Windows-style path, close-on-exec. Opening for reading never blocks
// (a FIFO opens at once and reads as empty). Null with lastError() on failure.
std::FILE* openFileStream(std::string_view path, const char* mode);

}  // namespace platform
