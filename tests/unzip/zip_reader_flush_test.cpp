// An unpacked item reaches the disk before it takes its target's name: a flush that
// fails is a failed write, which leaves the old file and no temporary file, and the
// hand-over tries again.

#include <gtest/gtest.h>

#include <string>

#include "platform/fault_injection.h"
#include "platform/files.h"
#include "unzip/zip_reader.h"
#include "zip_reader_fixture.h"

namespace {

using platform::fault::Error;
using platform::fault::Kind;
using platform::fault::Plan;

class ZipReaderFlushTest : public testsupport::ZipReaderFixture {
protected:
    void SetUp() override {
        if (!platform::fault::available()) GTEST_SKIP() << "a build without test hooks";
        ZipReaderFixture::SetUp();
    }
    void TearDown() override { platform::fault::setPlan(std::nullopt); }
};

TEST_F(ZipReaderFlushTest, FailedFlushIsAWriteFailureThatLeavesAWholeFile) {
    const std::string& text = testsupport::kZipSampleText;
    auto reader = openBytes(testsupport::buildZip({testsupport::entry("a.txt", text, true)}));
    ASSERT_TRUE(reader);
    struct Case {
        uint64_t call;
        Error error;
    };
    const Case cases[] = {{1, Error::DiskFull}, {1, Error::Io}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        dir.write("a.txt", "old");
        platform::fault::setPlan(Plan{Kind::Flush, c.call, false, c.error});
        EXPECT_EQ(UnzipToFile(reader.get(), 0, "a.txt"), ZIPRES_WRITE_FAILED);
        EXPECT_TRUE(platform::fault::fired());
        EXPECT_EQ(dir.read("a.txt"), "old");
        EXPECT_FALSE(dir.exists(platform::replacementPathFor("a.txt")));
        platform::fault::setPlan(std::nullopt);
        EXPECT_EQ(UnzipToFile(reader.get(), 0, "a.txt"), ZIPRES_OK);
        EXPECT_EQ(dir.read("a.txt"), text);
    }
}

}  // namespace
