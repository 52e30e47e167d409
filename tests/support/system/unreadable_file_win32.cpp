#include "platform/files.h"
#include "support/system/unreadable_file.h"

namespace testsupport {

struct UnreadableFile::Holder {
    platform::File file;
};

UnreadableFile::UnreadableFile(const std::string& path) : holder_(std::make_unique<Holder>()) {
    platform::CreateOptions options;
    options.share = platform::ShareNone;
    ready_ = holder_->file.open(path, platform::AccessWrite, platform::Disposition::CreateAlways,
                                options);
}

UnreadableFile::~UnreadableFile() = default;

}  // namespace testsupport
