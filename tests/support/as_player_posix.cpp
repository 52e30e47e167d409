#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/as_player.h"
#include "support/child_process.h"
#include "support/unprivileged.h"

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
