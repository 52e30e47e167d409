#include "launcher/write_access.h"

#include "platform/files.h"

bool testWriteAccess() {
    platform::File probe;
    platform::CreateOptions options;
    options.share = platform::ShareRead;
    if (!probe.open("YouCantPass.tmp", platform::AccessWrite, platform::Disposition::CreateAlways,
                    options))
        return true;
    probe.close();
    return !platform::deleteFile("YouCantPass.tmp");
}
