// Archives written by other projects (../shared/corpus/zip), each with the result
// that its MANIFEST.tsv records: listing, contents, passwords, attributes, times, and
// the broken ones failing cleanly without writing outside the root folder.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"
#include "unzip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

std::string corpusFolder() {
    const fs::path shared = LAUNCHER_SHARED_DIR;
    return (shared / "corpus" / "zip").string() + "/";
}
const std::string kCorpus = corpusFolder();

// What an item holds: its exact bytes, its size and CRC-32, or the bytes of a file.
struct Data {
    std::string bytes;
    size_t size = 0;
    uint32_t crc = 0;
    bool byCrc = false;
};
Data text(std::string bytes) { return {bytes, bytes.size(), 0, false}; }
Data crcOf(size_t size, uint32_t crc) { return {"", size, crc, true}; }
Data fileBytes(const char* name) { return text(testsupport::readFile(kCorpus + name)); }

uint32_t crcOfBytes(const std::string& bytes) {
    return uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                          uInt(bytes.size())));
}

bool holds(const Data& data, const std::string& bytes) {
    return data.byCrc ? bytes.size() == data.size && crcOfBytes(bytes) == data.crc
                      : bytes == data.bytes;
}

struct Item {
    const char* name = "";
    uint32_t attributes = 0x20;
    Data data;
    // "@N": N seconds since 1970 UTC (a "UT" time); "Y-M-D h:m:s": a DOS time, local.
    const char* write = nullptr;
    const char* access = nullptr;
    bool encrypted = false;
    ZipResult unpack = ZIPRES_OK;    // UnzipToMemory
    ZipResult describe = ZIPRES_OK;  // GetItem
};

// The one entry of Go's zip64 archives, read whole.
Item zip64Readme() {
    Item item;
    item.name = "README";
    item.data = text("This small file is in ZIP64 format.\n");
    return item;
}

// An entry whose local header the reader refuses.
Item corrupt() {
    Item item;
    item.unpack = ZIPRES_INFLATE_FAILED;
    item.describe = ZIPRES_CORRUPT;
    return item;
}

struct Archive {
    std::vector<std::string> files;  // archives that share the expectations
    const char* password = nullptr;
    bool opens = true;
    std::vector<Item> items;
    const char* wrongPassword = nullptr;  // encrypted items then give ZIPRES_BAD_PASSWORD
};

platform::FileTime timeOf(const std::string& when) {
    if (when[0] == '@') return testsupport::fileTimeFromUnix(std::stoll(when.substr(1)));
    int y, mo, d, h, mi, s;
    char sep;
    std::istringstream in(when);
    in >> y >> sep >> mo >> sep >> d >> h >> sep >> mi >> sep >> s;
    platform::FileTime out = 0;
    // The DOS date 0 (month and day 0) is no calendar date: the reader takes 1980-01-01.
    if (!platform::localTimeToFileTime(y, mo, d, h, mi, s, out))
        platform::localTimeToFileTime(1980, 1, 1, 0, 0, 0, out);
    return out;
}

const std::string kUnixText[] = {"world \r\n", "foo \r\n", "", "important \r\n"};

// clang-format off
std::vector<Archive> corpus() {
    return {
        // Traditional encryption: the check byte from the CRC, or from the DOS time
        // under a data descriptor.
        {{"cpython-decrypt-stored.zip"}, "python", true,
         {{.name = "test.txt", .data = text("zipfile.py encryption test"), .encrypted = true}},
         "perl"},
        {{"cpython-decrypt-dd-deflated.zip"}, "12345", true,
         {{.name = "zero", .data = text(std::string(512, '\0')), .encrypted = true}}, "perl"},
        {{"libarchive-traditional_encryption_data.zip"}, "12345678", true,
         {{.name = "bar.txt", .data = crcOf(495, 0xa4d8fd47), .encrypted = true},
          {.name = "foo.txt", .data = crcOf(495, 0xb493c7eb), .encrypted = true}},
         ""},
        {{"libzip-encrypt.zip"}, "foo", true,
         {{.name = "encrypted", .data = text("foo\n"), .encrypted = true},
          {.name = "plain", .data = text("foo\n")}},
         "notfoo"},
        {{"libzip-encrypt-1234.zip"}, "1234", true,
         {{.name = "sample.txt", .data = crcOf(282, 0x1c63b05b), .encrypted = true}}, "12345"},

        // Data descriptors, streamed entries, zip64.
        {{"libarchive-length_at_end.zip"}, nullptr, true,
         {{.name = "hello.txt", .data = text("hello\n"), .write = "@1316406142"}}},
        {{"go-dd.zip"}, nullptr, true,
         {{.name = "filename", .attributes = 0, .data = text("This is a test textfile.\n"),
           .write = "2011-02-02 13:06:20"}}},
        {{"go-go-with-datadesc-sig.zip"}, nullptr, true,
         {{.name = "foo.txt", .attributes = 0, .data = text("foo\n"), .write = "1980-00-00 00:00:00"},
          {.name = "bar.txt", .attributes = 0, .data = text("bar\n")}}},
        {{"libzip-streamed.zip", "libzip-streamed-zip64.zip", "libzip-incons-streamed-2.zip",
          "libzip-zip64.zip"},
         nullptr, true, {{.name = "-", .data = text("a\n")}}},
        {{"libarchive-zip64a.zip"}, nullptr, true, {{.name = "-", .data = text("file0\n")}}},
        // Debian's minizip for Linux keeps the directory's 0xFFFFFFFF sizes of these
        // zip64 entries, so they disagree with the local header: refused, not misread.
        // The same minizip source built for Windows (scripts/windows-deps.sh) reads
        // them, as unzip, bsdtar and Python do: the two builds differ, not on purpose.
        {{"go-zip64.zip", "go-zip64-2.zip"}, nullptr, true,
         {testsupport::onWindows() ? zip64Readme() : corrupt()}},

        // Data in front of the archive, and after it.
        {{"cpython-exe_with_zip.bin"}, nullptr, true,
         {{.name = "testdata_module_inside_zip.py", .data = crcOf(69, 0x533f5f49)}}},
        {{"cpython-exe_with_z64.bin"}, nullptr, false, {}},
        {{"libarchive-sfx.zip"}, nullptr, true,
         {{.name = "file0", .data = text("")},
          {.name = "build.sh", .data = text("#!/bin/sh\necho \"test.\"\n")}}},
        {{"go-test.zip", "go-test-trailing-junk.zip"}, nullptr, true,
         {{.name = "test.txt", .data = text("This is a test text file.\n")},
          {.name = "gophercolor16x16.png", .data = fileBytes("go-gophercolor16x16.png")}}},
        {{"libzip-test.zip", "libzip-junk-at-start.zip", "libzip-junk-at-end.zip"}, nullptr, true,
         {{.name = "test", .data = text("test\n"), .write = "@1065448001"},
          {.name = "testdir/", .attributes = 0x30, .data = text(""), .write = "@1105466633"},
          {.name = "testdir/test2", .data = text("test\n")}}},

        // Attributes from Unix modes and from DOS bytes.
        {{"go-unix.zip"}, nullptr, true,
         {{.name = "hello", .data = text(kUnixText[0]), .write = "@1323338664"},
          {.name = "dir/bar", .data = text(kUnixText[1]), .write = "@1323338690"},
          {.name = "dir/empty/", .attributes = 0x30, .data = text(""), .write = "@1323338886"},
          {.name = "readonly", .attributes = 0x21, .data = text(kUnixText[3]), .write = "@1323338768"}}},
        {{"go-winxp.zip"}, nullptr, true,
         {{.name = "hello", .data = text(kUnixText[0]), .write = "2011-12-08 10:04:24",
           .access = "2011-12-08 10:04:24"},
          {.name = "dir/bar", .data = text(kUnixText[1]), .write = "2011-12-08 10:04:50"},
          {.name = "dir/empty/", .attributes = 0x10, .data = text(""), .write = "2011-12-08 10:08:06"},
          {.name = "readonly", .attributes = 0x21, .data = text(kUnixText[3]),
           .write = "2011-12-08 10:06:08"}}},
        {{"libarchive-msdos.zip"}, nullptr, true,
         {{.name = "abc", .attributes = 0, .data = text("")},
          {.name = "def", .attributes = 0x10, .data = text("")},
          {.name = "def/foo", .attributes = 0, .data = text("")},
          {.name = "ghi/", .attributes = 0x10, .data = text("")},
          {.name = "jkl", .attributes = 0x10, .data = text("")},
          {.name = "mno/", .attributes = 0x10, .data = text("")}}},
        // Without file-type bits the mode says nothing about folders.
        {{"libarchive-nofiletype.zip"}, nullptr, true,
         {{.name = "file1", .data = text("file1\n")}, {.name = "dir2/", .data = text("")}}},
        {{"cpython-zipdir.zip", "go-subdir.zip"}, nullptr, true,
         {{.name = "a/", .attributes = 0x30, .data = text("")},
          {.name = "a/b/", .attributes = 0x30, .data = text("")},
          {.name = "a/b/c", .data = text("")}}},
        // Links are unpacked as plain files holding their target.
        {{"libarchive-symlink.zip"}, nullptr, true,
         {{.name = "file", .data = text("file\n")}, {.name = "symlink", .data = text("file")}}},
        {{"go-symlink.zip"}, nullptr, true, {{.name = "symlink", .data = text("../target")}}},

        // "UT" times against DOS times; other time fields are not read.
        {{"libarchive-ux.zip"}, nullptr, true,
         {{.name = "file1", .data = text("hello\nhello\nhello\n"), .write = "@1300668680"}}},
        {{"libarchive-pkware_unix.zip"}, nullptr, true,
         {{.name = "file1", .data = text("hello\n"), .write = "2011-03-21 00:00:00"}}},
        {{"go-time-infozip.zip"}, nullptr, true,
         {{.name = "test.txt", .data = text(""), .write = "@1509509517"}}},
        {{"go-time-go.zip"}, nullptr, true,
         {{.name = "test.txt", .attributes = 0, .data = text(""), .write = "@1509509517",
           .access = "2017-10-31 21:11:56"}}},
        {{"go-time-22738.zip"}, nullptr, true,
         {{.name = "file", .attributes = 0, .data = text(""), .write = "@946684800",
           .access = "1999-12-31 19:00:00"}}},
        {{"go-time-osx.zip"}, nullptr, true,
         {{.name = "test.txt", .data = text(""), .write = "2017-10-31 21:11:58"}}},
        {{"go-time-7zip.zip", "go-time-winzip.zip", "go-time-win7.zip"}, nullptr, true,
         {{.name = "test.txt", .attributes = 0, .data = text(""), .write = "2017-10-31 21:11:58"}}},
        {{"go-time-winrar.zip"}, nullptr, true,
         {{.name = "test.txt", .attributes = 0, .data = text(""), .write = "2017-10-31 21:11:56"}}},
        {{"libzip-mtime-default.zip"}, nullptr, true,
         {{.name = "abac-repeat.txt", .data = crcOf(60, 0xb0354048), .write = "1980-12-31 18:59:58"}}},
        {{"libzip-testfile-stored-dos.zip"}, nullptr, true,
         {{.name = "abac-repeat.txt", .data = crcOf(64, 0xa0dee228), .write = "2019-09-22 17:20:18"}}},
        {{"go-crc32-not-streamed.zip"}, nullptr, true,
         {{.name = "foo.txt", .data = text("foo\n")}, {.name = "bar.txt", .data = text("bar\n")}}},

        // Hostile names land below the root.
        {{"snyk-zip-slip.zip"}, nullptr, true,
         {{.name = "good.txt", .data = text("this is a good one\n")},
          {.name = "tmp/evil.txt", .data = text("this is an evil one\n")}}},
        {{"snyk-zip-slip-win.zip"}, nullptr, true,
         {{.name = "good.txt", .data = text("this is a good one\n")},
          {.name = "Temp\\evil.txt", .data = text("this is an evil one\n")}}},
        {{"libzip-filename_duplicate.zip"}, nullptr, true,
         {{.name = "test1", .data = text("test1\n")}, {.name = "test1", .data = text("test2\n")}}},
        {{"libzip-filename_empty.zip"}, nullptr, true, {{.name = "", .data = text("")}}},
        // minizip ends the stored name at its NUL byte.
        {{"libzip-incons-filename-nul-byte.zip"}, nullptr, true, {{.name = "te", .data = text("test")}}},

        // Empty, broken and inconsistent archives.
        {{"libzip-testempty.zip"}, nullptr, true, {}},
        {{"libzip-testfile-truncated.zip", "libzip-bogus.zip", "libarchive-malformed1.zip",
          "libzip-incons-cdoffset.zip", "libzip-incons-eocd-magic-bad.zip", "go-gophercolor16x16.png"},
         nullptr, false, {}},
        // minizip accepts the overlapping comment length that Go rejects; the entry is sound.
        {{"go-readme.notzip"}, nullptr, true, {{.name = "README", .data = crcOf(1096, 0x82080ae0)}}},
        {{"libzip-incons-data.zip"}, nullptr, true,
         {{.name = "a", .data = crcOf(1, 0), .unpack = ZIPRES_INFLATE_FAILED}}},
        {{"libzip-incons-stored-size.zip"}, nullptr, true,
         {{.name = "test", .data = crcOf(3, 0), .unpack = ZIPRES_INFLATE_FAILED}}},
        {{"libzip-incons-local-crc.zip", "libzip-incons-central-crc.zip",
          "libzip-incons-local-magic-bad.zip"},
         nullptr, true, {corrupt()}},
    };
}
// clang-format on

// Reads every item into memory and checks it against the row.
void checkListing(CZipReader* reader, const std::vector<Item>& items, bool wrongPassword) {
    ZipItem count;
    ASSERT_EQ(GetItem(reader, -1, &count), ZIPRES_OK);
    ASSERT_EQ(count.index, int(items.size()));
    for (int i = 0; i < count.index; ++i) {
        const Item& want = items[size_t(i)];
        SCOPED_TRACE(std::to_string(i) + " " + want.name);
        ZipItem item;
        ASSERT_EQ(GetItem(reader, i, &item), want.describe);
        std::string bytes(want.describe == ZIPRES_OK ? size_t(item.uncompressedSize) : 1, '\0');
        const ZipResult unpacked = UnzipToMemory(reader, i, bytes.data(), bytes.size());
        if (wrongPassword) {
            EXPECT_EQ(unpacked, want.encrypted ? ZIPRES_BAD_PASSWORD : want.unpack);
            continue;
        }
        EXPECT_EQ(unpacked, want.unpack);
        if (want.describe != ZIPRES_OK) continue;
        EXPECT_EQ(item.index, i);
        EXPECT_STREQ(item.name, want.name);
        EXPECT_EQ(item.attributes, want.attributes);
        EXPECT_EQ(size_t(item.uncompressedSize), want.data.size);
        if (want.write) {
            EXPECT_EQ(item.writeTime, timeOf(want.write));
        }
        if (want.access) {
            EXPECT_EQ(item.accessTime, timeOf(want.access));
        }
        if (unpacked == ZIPRES_OK) {
            EXPECT_TRUE(holds(want.data, bytes));
        }
    }
}

TEST(ZipCorpusTest, ArchivesOfOtherProjectsGiveTheirRecordedResults) {
    for (const Archive& archive : corpus()) {
        for (const std::string& file : archive.files) {
            SCOPED_TRACE(file);
            const std::string path = kCorpus + file;
            ASSERT_TRUE(fs::exists(path));
            auto reader = testsupport::openZip(path, archive.password);
            ASSERT_EQ(bool(reader), archive.opens);
            if (!reader) continue;
            checkListing(reader.get(), archive.items, false);
            if (archive.wrongPassword) {
                SCOPED_TRACE(std::string("wrong password '") + archive.wrongPassword + "'");
                auto wrong = testsupport::openZip(path, archive.wrongPassword);
                ASSERT_TRUE(wrong);
                checkListing(wrong.get(), archive.items, true);
            }
        }
    }
}

// The hand-over's way: every item to its own cleaned name below the current folder.
TEST(ZipCorpusTest, UnpackingEveryArchiveStaysBelowTheRootFolder) {
    for (const Archive& archive : corpus()) {
        if (!archive.opens) continue;
        for (const std::string& file : archive.files) {
            SCOPED_TRACE(file);
            testsupport::TempDir dir;
            dir.makeFolder("root");
            dir.enter();
            fs::current_path(dir.file("root"));
            auto reader = testsupport::openZip(kCorpus + file, archive.password);
            ASSERT_TRUE(reader);
            std::map<std::string, const Item*>
                last;  // a later item of a name replaces an earlier one
            for (int i = 0; i < int(archive.items.size()); ++i) {
                const Item& want = archive.items[size_t(i)];
                ZipItem item;
                if (GetItem(reader.get(), i, &item) != ZIPRES_OK) {
                    EXPECT_EQ(UnzipToFile(reader.get(), i, "x"), want.describe);
                    continue;
                }
                const ZipResult result = UnzipToFile(reader.get(), i, item.name);
                const bool folder = (item.attributes & 0x10) != 0;
                const std::string name = item.name;
                if (name.empty() || name.back() == '/') {
                    // No file can have an empty name or one that ends in a separator.
                    EXPECT_EQ(result, folder ? ZIPRES_OK : ZIPRES_CANNOT_OPEN) << name;
                    continue;
                }
                EXPECT_EQ(result, want.unpack) << name;
                if (!folder && result == ZIPRES_OK) last[name] = &want;
            }
            reader.reset();
            for (const auto& e : fs::directory_iterator(dir.path())) {
                EXPECT_EQ(e.path().filename(), "root") << "written outside the root folder";
            }
            for (const auto& [name, want] : last) {
                SCOPED_TRACE(name);
                std::string relative = name;
                for (char& c : relative)
                    if (c == '\\') c = '/';
                EXPECT_TRUE(holds(want->data, testsupport::readFile(dir.file("root/" + relative))));
            }
        }
    }
}

// A new archive in the corpus needs a row here.
TEST(ZipCorpusTest, EveryArchiveOfTheManifestHasARow) {
    std::ifstream manifest(kCorpus + "MANIFEST.tsv");
    ASSERT_TRUE(manifest.is_open());
    std::set<std::string> listed;
    std::string line;
    std::getline(manifest, line);  // the heading
    while (std::getline(manifest, line)) {
        std::istringstream files(line.substr(0, line.find('\t')));
        for (std::string file; files >> file;) listed.insert(file);
    }
    std::set<std::string> rows;
    for (const Archive& archive : corpus()) rows.insert(archive.files.begin(), archive.files.end());
    EXPECT_EQ(rows, listed);
}

}  // namespace
