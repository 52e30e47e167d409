#pragma once
// The password of "update.inf", shared by the launcher and the operator tool.

#include <cstddef>
#include <memory>

constexpr size_t kArchivePasswordBufferSize = 128;
constexpr size_t kArchivePasswordLength = 16;

// A 128-byte buffer holding the 16-character password, NUL-terminated.
std::unique_ptr<char[]> makeArchivePassword();
