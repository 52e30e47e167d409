#pragma once
// Whole files as byte strings, for tests that lay out or inspect folders.

#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// The bytes of a file; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes bytes to a file, replacing it; false on failure.
inline bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return bool(out);
}

}  // namespace testsupport
