// The file version of Windows executables, from both readers the launcher has: the
// system's (fileVersionInfo: GetFileVersionInfoA on Windows) and our own PE reader
// (platform::readPeFileVersion, the one on Linux and in launcher-admin). Both are held
// to an independent reader on real Windows files and on built images; the damaged
// images are our reader's to survive.

#include "platform/file_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/builders/pe_image.h"
#include "support/builders/reference_file_version.h"
#include "support/system/file_bytes.h"
#include "support/system/host_paths.h"
#include "support/system/subprocess.h"
#include "support/system/this_system.h"

namespace fs = std::filesystem;
using testsupport::buildPeImage;
using testsupport::PeImage;
using testsupport::PeImageOptions;
using testsupport::putLe16;
using testsupport::putLe32;
using testsupport::readFile;
using testsupport::same;
using testsupport::writeFile;

namespace {

fs::path sharedDir() { return LAUNCHER_SHARED_DIR; }

// The file version as an independent reader reports it ("" for none): exiftool on
// Linux, the system's own GetFileVersionInfoA on Windows.
std::string independentVersion(const fs::path& path) {
    return testsupport::referenceFileVersion(path.string());
}

// What a reader answers: whether the file has version information, and the version.
struct Answer {
    bool found;
    std::string version;
    bool operator==(const Answer&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Answer& a) {
    return out << (a.found ? "found \"" + a.version + "\"" : std::string("none"));
}

using Reader = bool (*)(const std::string&, std::string&);
struct NamedReader {
    const char* name;
    Reader read;
};
bool systemReader(const std::string& path, std::string& version) {
    return platform::fileVersionInfo(path, version);
}
bool peReader(const std::string& path, std::string& version) {
    return platform::readPeFileVersion(path, version);
}
const NamedReader kReaders[] = {{"the system's reader", systemReader}, {"our PE reader", peReader}};

Answer answerOf(Reader read, const std::string& path) {
    Answer answer{false, ""};
    answer.found = read(path, answer.version);
    if (!answer.found) answer.version.clear();
    return answer;
}

class FileVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("file_version_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = (dir / name).string();
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }

    fs::path dir;
};

TEST_F(FileVersionTest, AgreesWithAnIndependentReaderOnRealWindowsFiles) {
    SCOPED_TRACE(testsupport::referenceFileVersionReader());
    using Known = testsupport::PerSystem<std::string>;
    struct Case {
        fs::path path;
        Known known;  // what the file's maker says, "" for no version
    };
    // clang-format off
    const Case cases[] = {
        {sharedDir() / "corpus/pe/tiny64.exe", same<std::string>("1.2.3.4")},
        {sharedDir() / "corpus/pe/tiny64-bigver.exe", same<std::string>("10.0.19041.65535")},
        {sharedDir() / "corpus/pe/tiny64-nores.exe", same<std::string>("")},
        {testsupport::hostFile("/usr/x86_64-w64-mingw32/lib/zlib1.dll"), same<std::string>("1.2.13.0")},
        {testsupport::hostFile("/usr/i686-w64-mingw32/lib/zlib1.dll"), same<std::string>("1.2.13.0")},
        // The stand-in client updater the tests build (record_args.rc).
        {testsupport::binaryPath("record_args"),
         Known{"", "2.0.13.5", "a Windows program with its VERSIONINFO only in the Windows build"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        ASSERT_TRUE(fs::exists(c.path));
        std::string independent = independentVersion(c.path);
        EXPECT_EQ(independent, c.known.here());
        for (const NamedReader& reader : kReaders) {
            SCOPED_TRACE(reader.name);
            EXPECT_EQ(answerOf(reader.read, c.path.string()),
                      (Answer{!independent.empty(), independent}));
        }
    }
}

TEST_F(FileVersionTest, BuiltImagesAgreeWithAnIndependentReader) {
    SCOPED_TRACE(testsupport::referenceFileVersionReader());
    struct Case {
        const char* name;
        PeImageOptions options;
        bool found;
        const char* version;
    };
    PeImageOptions plain;
    PeImageOptions wide;
    wide.pe32Plus = true;
    wide.fileVersion[0] = 2, wide.fileVersion[1] = 0, wide.fileVersion[2] = 13,
    wide.fileVersion[3] = 5;
    PeImageOptions extremes;
    extremes.fileVersion[0] = 65535, extremes.fileVersion[1] = 0, extremes.fileVersion[2] = 0,
    extremes.fileVersion[3] = 65535;
    // clang-format off
    const Case cases[] = {
        {"pe32", plain, true, "1.2.3.4"},
        {"pe32plus", wide, true, "2.0.13.5"},
        {"extremes", extremes, true, "65535.0.0.65535"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = write(std::string(c.name) + ".exe", buildPeImage(c.options).bytes);
        for (const NamedReader& reader : kReaders) {
            SCOPED_TRACE(reader.name);
            EXPECT_EQ(answerOf(reader.read, path), (Answer{c.found, c.version}));
        }
        EXPECT_EQ(independentVersion(path), c.version);
    }
}

TEST_F(FileVersionTest, MissingPartsOfTheVersionResource) {
    struct Case {
        const char* name;
        void (*change)(PeImageOptions&);
        bool found;
        const char* version;
    };
    // clang-format off
    const Case cases[] = {
        // Without a translation table the file counts as having no version.
        {"no translation", [](PeImageOptions& o) { o.withTranslation = false; }, false, ""},
        // Version information without fixed info still succeeds, with an empty text.
        {"no fixed info", [](PeImageOptions& o) { o.withFixedInfo = false; }, true, ""},
        {"no resources", [](PeImageOptions& o) { o.withResources = false; }, false, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeImageOptions options;
        c.change(options);
        std::string path = write("image.exe", buildPeImage(options).bytes);
        for (const NamedReader& reader : kReaders) {
            SCOPED_TRACE(reader.name);
            EXPECT_EQ(answerOf(reader.read, path), (Answer{c.found, c.version}));
        }
    }
}

TEST_F(FileVersionTest, HostileImagesHaveNoVersion) {
    struct Case {
        const char* name;
        void (*damage)(PeImage&);
        bool found;
        const char* version;
    };
    // clang-format off
    const Case cases[] = {
        {"type entry loops to the root",
         [](PeImage& i) { putLe32(i.bytes, i.typeEntry + 4, 0x80000000); }, false, ""},
        {"name entry loops to its own directory",
         [](PeImage& i) { putLe32(i.bytes, i.nameEntry + 4, 0x80000018); }, false, ""},
        {"language entry is a directory",
         [](PeImage& i) { putLe32(i.bytes, i.languageEntry + 4, 0x80000000); }, false, ""},
        {"name entry is data instead of a directory",
         [](PeImage& i) { putLe32(i.bytes, i.nameEntry + 4, 0x48); }, false, ""},
        {"subdirectory far outside the section",
         [](PeImage& i) { putLe32(i.bytes, i.typeEntry + 4, 0xFFFFFFF0); }, false, ""},
        {"no version type",
         [](PeImage& i) { putLe32(i.bytes, i.typeEntry, 3); }, false, ""},
        {"entry count beyond the section",
         [](PeImage& i) { putLe16(i.bytes, i.resourceRoot + 14, 0xFFFF); }, false, ""},
        {"data outside every section",
         [](PeImage& i) { putLe32(i.bytes, i.dataEntry, 0xFFFFFF00); }, false, ""},
        {"data size of 4 GiB",
         [](PeImage& i) { putLe32(i.bytes, i.dataEntry + 4, 0xFFFFFFFF); }, false, ""},
        {"data size zero", [](PeImage& i) { putLe32(i.bytes, i.dataEntry + 4, 0); }, false, ""},
        {"root block length zero",
         [](PeImage& i) { putLe16(i.bytes, i.versionBlock, 0); }, false, ""},
        {"root block longer than the resource",
         [](PeImage& i) { putLe16(i.bytes, i.versionBlock, 0xFFF0); }, false, ""},
        {"root value longer than the block",
         [](PeImage& i) { putLe16(i.bytes, i.versionBlock + 2, 0xFFFF); }, false, ""},
        {"wrong fixed info signature",
         [](PeImage& i) { putLe32(i.bytes, i.fixedInfo, 0x12345678); }, true, ""},
        {"PE header beyond the file",
         [](PeImage& i) { putLe32(i.bytes, 0x3C, 0xFFFFFFF0); }, false, ""},
        {"PE header overlapping the DOS header",
         [](PeImage& i) { putLe32(i.bytes, 0x3C, 0); }, false, ""},
        {"65535 sections",
         [](PeImage& i) { putLe16(i.bytes, i.peHeader + 6, 0xFFFF); }, false, ""},
        {"optional header too short for the resource directory",
         [](PeImage& i) { putLe16(i.bytes, i.peHeader + 20, 64); }, false, ""},
        {"no data directory for resources",
         [](PeImage& i) { putLe32(i.bytes, i.resourceDirectory - 20, 2); }, false, ""},
        {"unknown optional header magic",
         [](PeImage& i) { putLe16(i.bytes, i.peHeader + 24, 0x107); }, false, ""},
        {"section raw data beyond the file",
         [](PeImage& i) { putLe32(i.bytes, i.sectionHeader + 20, 0x7FFFFFF0); }, false, ""},
        {"section raw size of 4 GiB",
         [](PeImage& i) { putLe32(i.bytes, i.sectionHeader + 16, 0xFFFFFFFF); }, true,
         "1.2.3.4"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeImage image = buildPeImage();
        c.damage(image);
        std::string path = write("hostile.exe", image.bytes);
        std::string version = "before";
        EXPECT_EQ(platform::readPeFileVersion(path, version), c.found);
        if (c.found) {
            EXPECT_EQ(version, c.version);
        }
    }
}

TEST_F(FileVersionTest, VersionBlockWalkSurvivesEveryBrokenLength) {
    // Each node's two length words set to every value that can mislead a walk.
    const PeImage reference = buildPeImage();
    std::vector<size_t> nodes;
    for (const char* key : {"VS_VERSION_INFO", "StringFileInfo", "040904b0", "FileVersion",
                            "VarFileInfo", "Translation"}) {
        std::string wide;
        for (const char* p = key; *p; ++p) wide += std::string{*p, '\0'};
        size_t at = reference.bytes.find(wide, reference.versionBlock);
        ASSERT_NE(at, std::string::npos) << key;
        nodes.push_back(at - 6);
    }
    for (size_t node : nodes) {
        for (size_t field : {0, 2}) {
            for (uint16_t value : {0, 1, 2, 5, 6, 7, 0x7FFF, 0xFFFF}) {
                PeImage image = reference;
                putLe16(image.bytes, node + field, value);
                std::string path = write("walk.exe", image.bytes);
                std::string version;
                // Any answer will do as long as it is one the intact file could give.
                if (platform::readPeFileVersion(path, version)) {
                    SCOPED_TRACE(node);
                    EXPECT_TRUE(version.empty() || version == "1.2.3.4") << version;
                }
            }
        }
    }
}

TEST_F(FileVersionTest, EveryTruncationIsNoVersionOrTheWholeAnswer) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* version;
    };
    // clang-format off
    const Case cases[] = {
        {"tiny64.exe", readFile((sharedDir() / "corpus/pe/tiny64.exe").string()), "1.2.3.4"},
        {"built pe32", buildPeImage().bytes, "1.2.3.4"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        std::string path = (dir / "cut.exe").string();
        size_t firstComplete = c.bytes.size() + 1;
        for (size_t length = 0; length <= c.bytes.size(); ++length) {
            ASSERT_TRUE(writeFile(path, c.bytes.substr(0, length)));
            std::string version;
            if (platform::readPeFileVersion(path, version)) {
                ASSERT_EQ(version, c.version) << "cut at " << length;
                if (firstComplete > length) firstComplete = length;
            } else {
                ASSERT_GT(firstComplete, length) << "lost the version again at " << length;
            }
        }
        EXPECT_LE(firstComplete, c.bytes.size());
    }
}

TEST_F(FileVersionTest, FilesThatAreNotExecutables) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    // clang-format off
    const Case cases[] = {
        {"empty", ""},
        {"text", "[Current Version]\nUpdateFile=1.2.3.4.zip\n"},
        {"MZ only", "MZ"},
        {"DOS program", std::string("MZ") + std::string(200, '\0')},
        {"ELF", "\x7f" "ELF\x02\x01\x01" + std::string(100, '\0')},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = write("file.bin", c.bytes);
        for (const NamedReader& reader : kReaders) {
            SCOPED_TRACE(reader.name);
            EXPECT_EQ(answerOf(reader.read, path), (Answer{false, ""}));
        }
    }
    for (const NamedReader& reader : kReaders) {
        SCOPED_TRACE(reader.name);
        EXPECT_EQ(answerOf(reader.read, (dir / "missing.exe").string()), (Answer{false, ""}));
        EXPECT_EQ(answerOf(reader.read, dir.string()), (Answer{false, ""}));
    }
}

}  // namespace
