// The part of the package and its record when a call fails on the way (found by the
// fault sweep): a part that cannot be opened now is no empty part, and a part of another
// package that cannot be emptied is deleted; neither leaves bytes without their record.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/fault_injection.h"
#include "support/system/temp_dir.h"
#include "transfer/file_download.h"
#include "update/package_file.h"

namespace {

using platform::fault::Error;
using platform::fault::Kind;
using platform::fault::Plan;

class PackageFileFault : public testing::Test {
protected:
    void SetUp() override {
        if (!platform::fault::available()) GTEST_SKIP() << "a build without test hooks";
        dir.enter();
    }
    void TearDown() override { platform::fault::setPlan(std::nullopt); }
    testsupport::TempDir dir;
};

TEST_F(PackageFileFault, PartIsNeverLeftWithoutItsRecord) {
    struct Case {
        const char* what;
        const char* recorded;  // the package the record names
        Plan plan;             // the first open is the part's, the third the emptying
        bool partStays;
    };
    const Case cases[] = {
        {"this package's part held by another program", "2.0.13.6.zip",
         Plan{Kind::Open, 1, false, Error::SharingViolation}, true},
        {"this package's part unreadable", "2.0.13.6.zip", Plan{Kind::Open, 1, false, Error::Io},
         true},
        {"another package's part that cannot be emptied", "2.0.13.4.zip",
         Plan{Kind::Open, 3, false, Error::AccessDenied}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write(kPackageFile, "PK the first bytes");
        ASSERT_TRUE(writePackageOrigin({c.recorded, "\"etag\""}));
        platform::fault::setPlan(c.plan);
        CFileDownLoad download;
        preparePackageDownload(download, "2.0.13.6.zip");
        EXPECT_TRUE(platform::fault::fired());
        EXPECT_EQ(dir.exists(kPackageFile), c.partStays);
        if (dir.exists(kPackageFile)) {
            const std::optional<PackageOrigin> origin = readPackageOrigin();
            ASSERT_TRUE(origin) << "a part without its record";
            EXPECT_EQ(origin->package, c.recorded);
        }
        platform::fault::setPlan(std::nullopt);
        deletePackage();
    }
}

}  // namespace
