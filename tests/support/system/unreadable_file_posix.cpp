#include <sys/stat.h>

#include "support/system/unreadable_file.h"

namespace testsupport {

struct UnreadableFile::Holder {};

UnreadableFile::UnreadableFile(const std::string& path)
    : ready_(::mkfifo(path.c_str(), 0600) == 0) {}

UnreadableFile::~UnreadableFile() = default;

}  // namespace testsupport
