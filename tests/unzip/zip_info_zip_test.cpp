// Archives written by Info-ZIP's zip, read back: names, attributes, sizes, times,
// contents, passwords.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "unzip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kStamp = 1600000000;  // 2020-09-13T12:26:40Z

struct Tree {
    const char* name;
    const char* contents;  // nullptr: a folder
    fs::perms mode;
};
const Tree kTree[] = {
    {"top.txt", "top level text\n", fs::perms(0644)},
    {"folder", nullptr, fs::perms(0755)},
    {"folder/inner.txt", "inner text, repeated; inner text, repeated; inner text\n",
     fs::perms(0644)},
    {"empty.txt", "", fs::perms(0644)},
    {"readonly.txt", "keep me\n", fs::perms(0444)},
    {"tool.sh", "#!/bin/sh\necho tool\n", fs::perms(0755)},
};

class InfoZipTest : public testing::Test {
protected:
    void SetUp() override {
        dir.makeFolder("src");
        for (const Tree& t : kTree) {
            if (t.contents)
                dir.write("src/" + std::string(t.name), t.contents);
            else
                dir.makeFolder("src/" + std::string(t.name));
        }
        for (const Tree& t : kTree) {
            const std::string path = dir.file("src/" + std::string(t.name));
            fs::permissions(path, t.mode);
            ASSERT_EQ(run("touch", {"-d", "@" + std::to_string(kStamp), path}), 0);
        }
        dir.enter();
    }

    int run(const std::string& program, const std::vector<std::string>& arguments) {
        testsupport::ProgramOptions options;
        options.workingDirectory = dir.file("src");
        return testsupport::runProgram("/usr/bin/" + program, arguments, options).exitCode;
    }

    // zip ARGUMENTS... with the tree's names.
    std::string makeZip(std::vector<std::string> arguments) {
        arguments.push_back(dir.file("made.zip"));
        for (const Tree& t : kTree) arguments.push_back(t.name);
        EXPECT_EQ(run("zip", arguments), 0);
        return dir.file("made.zip");
    }

    testsupport::TempDir dir;
};

TEST_F(InfoZipTest, ItemsReadBackWithNamesAttributesSizesTimesAndContents) {
    auto reader = testsupport::openZip(makeZip({"-q"}));
    ASSERT_TRUE(reader);
    struct Expected {
        const char* name;
        uint32_t attributes;
    };
    const Expected expected[] = {
        {"top.txt", 0x20},   {"folder/", 0x30},      {"folder/inner.txt", 0x20},
        {"empty.txt", 0x20}, {"readonly.txt", 0x21}, {"tool.sh", 0x20},
    };
    ZipItem count;
    ASSERT_EQ(GetItem(reader.get(), -1, &count), ZIPRES_OK);
    ASSERT_EQ(count.index, int(std::size(expected)));
    for (int i = 0; i < count.index; ++i) {
        SCOPED_TRACE(expected[i].name);
        ZipItem item;
        ASSERT_EQ(GetItem(reader.get(), i, &item), ZIPRES_OK);
        EXPECT_EQ(item.index, i);
        EXPECT_STREQ(item.name, expected[i].name);
        EXPECT_EQ(item.attributes, expected[i].attributes);
        EXPECT_EQ(item.writeTime, testsupport::fileTimeFromUnix(kStamp));
        const char* contents = kTree[i].contents ? kTree[i].contents : "";
        EXPECT_EQ(item.uncompressedSize, int32_t(std::string(contents).size()));
        ZipResult result;
        EXPECT_EQ(testsupport::unzipToString(reader.get(), i, result), contents);
        EXPECT_EQ(result, ZIPRES_OK);
    }
}

TEST_F(InfoZipTest, HandOverStyleUnpackingRebuildsTheTree) {
    const std::string archive = makeZip({"-q"});
    dir.makeFolder("out");
    fs::current_path(dir.file("out"));
    auto reader = testsupport::openZip(archive);
    ASSERT_TRUE(reader);
    ZipItem count;
    ASSERT_EQ(GetItem(reader.get(), -1, &count), ZIPRES_OK);
    for (int i = 0; i < count.index; ++i) {
        ZipItem item;
        ASSERT_EQ(GetItem(reader.get(), i, &item), ZIPRES_OK);
        EXPECT_EQ(UnzipToFile(reader.get(), i, item.name), ZIPRES_OK) << item.name;
    }
    for (const Tree& t : kTree) {
        SCOPED_TRACE(t.name);
        const std::string path = dir.file("out/" + std::string(t.name));
        if (!t.contents) {
            EXPECT_TRUE(fs::is_directory(path));
            continue;
        }
        EXPECT_EQ(testsupport::readFile(path), t.contents);
        const auto perms = fs::status(path).permissions();
        EXPECT_EQ((perms & fs::perms::owner_write) == fs::perms::none,
                  (t.mode & fs::perms::owner_write) == fs::perms::none);
        EXPECT_EQ((perms & fs::perms::owner_exec) != fs::perms::none,
                  (t.mode & fs::perms::owner_exec) != fs::perms::none);
        const auto written = std::chrono::file_clock::to_sys(fs::last_write_time(path));
        EXPECT_EQ(
            std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count(),
            kStamp);
    }
}

TEST_F(InfoZipTest, EncryptedItemsNeedTheirPassword) {
    const std::string archive = makeZip({"-q", "-P", "s3cret pass"});
    struct Case {
        const char* what;
        const char* password;
        bool right;
    };
    // clang-format off
    const Case cases[] = {
        {"right password", "s3cret pass", true},
        {"wrong password", "s3cret", false},
        {"other wrong password", "S3CRET PASS", false},
        {"no password", nullptr, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto reader = testsupport::openZip(archive, c.password);
        ASSERT_TRUE(reader);
        int refusedAtCheckByte = 0;
        for (int i = 0; i < int(std::size(kTree)); ++i) {
            if (!kTree[i].contents) continue;
            SCOPED_TRACE(kTree[i].name);
            // zip encrypts empty files too: their 12-byte header still carries a check byte.
            ZipResult result;
            const std::string data = testsupport::unzipToString(reader.get(), i, result);
            const ZipResult toFile = UnzipToFile(reader.get(), i, "target");
            if (c.right) {
                EXPECT_EQ(result, ZIPRES_OK);
                EXPECT_EQ(data, kTree[i].contents);
                EXPECT_EQ(toFile, ZIPRES_OK);
                EXPECT_EQ(dir.read("target"), kTree[i].contents);
            } else if (result == ZIPRES_BAD_PASSWORD) {
                ++refusedAtCheckByte;
                EXPECT_EQ(toFile, ZIPRES_BAD_PASSWORD);
            } else {
                // zip's encryption header is random, so a wrong password passes the one
                // check byte once in 256 tries; the garbage it decrypts must then fail
                // the CRC-32 (an empty item has nothing to fail).
                const bool empty = std::string(kTree[i].contents).empty();
                EXPECT_EQ(result, empty ? ZIPRES_OK : ZIPRES_INFLATE_FAILED);
                EXPECT_EQ(toFile, result);
                if (!empty) {
                    EXPECT_FALSE(dir.exists("target"));
                }
            }
            fs::remove(dir.file("target"));
        }
        if (!c.right) {
            EXPECT_GT(refusedAtCheckByte, 0);
        }
    }
}

TEST_F(InfoZipTest, StoredEncryptedItemWithADamagedByteFailsItsCrcAndLeavesTheOldFile) {
    const std::string archive = makeZip({"-q", "-0", "-P", "pw"});
    std::string bytes = testsupport::readFile(archive);
    // The first entry's data: after the local header, name, extra and the 12-byte
    // encryption header.
    auto le16 = [&](size_t at) {
        return size_t(uint8_t(bytes[at])) | size_t(uint8_t(bytes[at + 1])) << 8;
    };
    const size_t data = 30 + le16(26) + le16(28) + 12;
    bytes[data + 3] ^= 0x01;
    dir.write("damaged.zip", bytes);

    auto reader = testsupport::openZip(dir.file("damaged.zip"), "pw");
    ASSERT_TRUE(reader);
    ZipResult result;
    testsupport::unzipToString(reader.get(), 0, result);
    EXPECT_EQ(result, ZIPRES_INFLATE_FAILED);
    dir.write("top.txt", "an older copy");
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "top.txt"), ZIPRES_INFLATE_FAILED);
    // Replaced only by an entry that ended well; the temporary file is gone.
    EXPECT_EQ(dir.read("top.txt"), "an older copy");
    EXPECT_FALSE(dir.exists("top.txt.~launcher"));
    // The next item is sound.
    EXPECT_EQ(UnzipToFile(reader.get(), 2, "inner.txt"), ZIPRES_OK);
    EXPECT_EQ(dir.read("inner.txt"), kTree[2].contents);
}

}  // namespace
