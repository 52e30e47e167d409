#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/sandbox/as_player.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/unprivileged.h"

namespace testsupport {

void asPlayer(const std::function<void()>& body) {
    const int code = runInChild([&] {
        if (!dropRootPrivileges()) return 2;
        body();
        return childResult();
    });
    EXPECT_EQ(code, 0) << "the checks in the child failed (see above)";
}

void openFolderToPlayer(const std::string& folder) { ::chmod(folder.c_str(), 0777); }

}  // namespace testsupport
