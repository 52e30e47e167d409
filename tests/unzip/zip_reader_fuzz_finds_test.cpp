// Archives the fuzzer found, kept as they were found (tests/data/fuzz_finds), each
// read the way the fuzz target reads it.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/builders/zip_reader_handle.h"
#include "unzip/zip_reader.h"

namespace {

const std::string kFinds = std::string(LAUNCHER_SOURCE_DIR) + "/tests/data/fuzz_finds/";

}  // namespace

// 768 entries declared; the first one's 64 KiB extra field, which minizip steps through
// four bytes at a time, and no second one. Every later index used to walk the
// directory from the start again: 768 walks, seconds for a 516-byte file.
TEST(ZipReaderFuzzFinds, UnreachableEntriesAreNotWalkedToAgain) {
    const std::string path = kFinds + "zip-768-declared-entries-long-extra.zip";
    using Clock = std::chrono::steady_clock;
    ZipItem item;

    // One walk that fails, the unit of cost.
    auto once = testsupport::openZip(path);
    ASSERT_TRUE(once);
    auto start = Clock::now();
    EXPECT_EQ(GetItem(once.get(), 1, &item), ZIPRES_CORRUPT);
    const auto oneWalk = Clock::now() - start;

    auto reader = testsupport::openZip(path);
    ASSERT_TRUE(reader);
    ZipItem count;
    ASSERT_EQ(GetItem(reader.get(), -1, &count), ZIPRES_OK);
    EXPECT_EQ(count.index, 768);
    start = Clock::now();
    for (int index = 0; index < count.index; ++index) {
        EXPECT_EQ(GetItem(reader.get(), index, &item), ZIPRES_CORRUPT) << index;
        char buffer[256];
        EXPECT_NE(UnzipToMemory(reader.get(), index, buffer, sizeof buffer), ZIPRES_OK) << index;
    }
    const auto allItems = Clock::now() - start;
    // A handful of walks at most, with room for a busy machine.
    EXPECT_LT(allItems, 20 * oneWalk + std::chrono::milliseconds(50));
}
