#pragma once
// Whole files as byte strings, for tests that lay out or inspect folders.

#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace testsupport
