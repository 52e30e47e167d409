#include "launcher/write_access.h"

#include "platform/files.h"

bool testWriteAccess() {
    platform::File probe;
    if (!probe.open("YouCantPass.tmp", platform::AccessWrite, platform::Disposition::CreateAlways))
        return true;
    probe.close();
    return !platform::deleteFile("YouCantPass.tmp");
}
