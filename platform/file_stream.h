#pragma once
// C library file streams (fopen) with the layer's path rules.

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/files.h"

namespace platform {

// fopen with a Windows-style path, never inherited by programs we start. Opening for
// reading never blocks (a FIFO opens at once and reads as empty). Null with lastError()
// on failure.
std::FILE* openFileStream(std::string_view path, const char* mode);

// fseek and ftell with 64-bit offsets, so files beyond 2 GiB work on every system.
bool seekFileStream(std::FILE* stream, int64_t offset, SeekFrom from);
int64_t tellFileStream(std::FILE* stream);  // -1 on failure

}  // namespace platform
