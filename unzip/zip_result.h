#pragma once
// Result codes of the zip reader. Callers compare against these numbers.

#include <cstdint>

using ZipResult = uint32_t;

constexpr ZipResult ZIPRES_OK = 0x00000000;
constexpr ZipResult ZIPRES_CANNOT_OPEN = 0x00000200;
constexpr ZipResult ZIPRES_WRITE_FAILED = 0x00000400;
constexpr ZipResult ZIPRES_NOT_FOUND = 0x00000500;
constexpr ZipResult ZIPRES_MORE_DATA = 0x00000600;
constexpr ZipResult ZIPRES_CORRUPT = 0x00000700;
constexpr ZipResult ZIPRES_READ_FAILED = 0x00000800;
constexpr ZipResult ZIPRES_BAD_PASSWORD = 0x00001000;
constexpr ZipResult ZIPRES_BAD_ARGS = 0x00010000;
constexpr ZipResult ZIPRES_INFLATE_FAILED = 0x05000000;
