// Failures injected at the platform seam: a plan fails the chosen call of one kind with
// the system's own error, and each service then fails exactly as that error would make
// it fail. Test builds only; a build without the hooks skips.

#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/net.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

namespace {

using platform::fault::Error;
using platform::fault::Kind;
using platform::fault::Plan;
using testsupport::PerSystem;

class FaultInjection : public testing::Test {
protected:
    void SetUp() override {
        if (!platform::fault::available()) GTEST_SKIP() << "a build without test hooks";
        dir.enter();
    }
    void TearDown() override { platform::fault::setPlan(std::nullopt); }
    testsupport::TempDir dir;
};

TEST(FaultPlan, ReadsKindCallAndErrorOrNothing) {
    struct Case {
        const char* text;
        std::optional<Plan> plan;
    };
    // clang-format off
    const Case cases[] = {
        {"write:3:disk-full", Plan{Kind::Write, 3, false, Error::DiskFull}},
        {"write:3+:io", Plan{Kind::Write, 3, true, Error::Io}},
        {"create-folder:1:access-denied", Plan{Kind::CreateFolder, 1, false, Error::AccessDenied}},
        {"receive:12:connection-reset", Plan{Kind::Receive, 12, false, Error::ConnectionReset}},
        {"end-process:2:access-denied", Plan{Kind::EndProcess, 2, false, Error::AccessDenied}},
        // Call 0, no number, an unknown kind or error, trailing text.
        {"write:0:io", std::nullopt},
        {"write::io", std::nullopt},
        {"write:+:io", std::nullopt},
        {"writes:1:io", std::nullopt},
        {"write:1:full", std::nullopt},
        {"write:1", std::nullopt},
        {"write:1:io:x", std::nullopt},
        {"write:1x:io", std::nullopt},
        // An error the kind cannot give: a read never finds the disk full, a file no
        // reset connection.
        {"read:1:disk-full", std::nullopt},
        {"open:1:connection-reset", std::nullopt},
        {"send:1:disk-full", std::nullopt},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto plan = platform::fault::parsePlan(c.text);
        ASSERT_EQ(plan.has_value(), c.plan.has_value());
        if (!plan) continue;
        EXPECT_EQ(plan->kind, c.plan->kind);
        EXPECT_EQ(plan->call, c.plan->call);
        EXPECT_EQ(plan->onward, c.plan->onward);
        EXPECT_EQ(plan->error, c.plan->error);
        // The names read back as written.
        const std::string text = std::string(platform::fault::kindName(plan->kind)) + ":" +
                                 std::to_string(plan->call) + (plan->onward ? "+" : "") + ":" +
                                 platform::fault::errorName(plan->error);
        EXPECT_EQ(text, c.text);
    }
}

// Each service fails at the planned call, with the code the real failure gives, and
// works again at the next one.
TEST_F(FaultInjection, EachServiceFailsWithTheSystemsOwnError) {
    dir.write("present.txt", "old");
    const PerSystem<uint32_t> io{platform::winerr::GEN_FAILURE, 1117,
                                 "EIO reads as ERROR_GEN_FAILURE; Windows has ERROR_IO_DEVICE"};
    struct Case {
        Kind kind;
        Error error;
        uint32_t code;
        std::function<bool()> succeeds;  // one call of the service
    };
    auto writeOne = [] {
        platform::File file;
        if (!file.open("w.txt", platform::AccessWrite, platform::Disposition::CreateAlways))
            return false;
        return file.write("x", 1) == 1;
    };
    auto readOne = [] {
        platform::File file;
        char c;
        return file.open("present.txt", platform::AccessRead,
                         platform::Disposition::OpenExisting) &&
               file.read(&c, 1) == 1;
    };
    auto flushOne = [] {
        platform::File file;
        return file.open("f.txt", platform::AccessWrite, platform::Disposition::CreateAlways) &&
               file.flush();
    };
    auto listOne = [] {
        platform::FolderSearch search;
        platform::FindEntry entry;
        return search.first(".", entry);
    };
    // clang-format off
    const Case cases[] = {
        {Kind::Open, Error::AccessDenied, platform::winerr::ACCESS_DENIED, [] {
             platform::File file;
             return file.open("present.txt", platform::AccessRead, platform::Disposition::OpenExisting);
         }},
        {Kind::Open, Error::SharingViolation, platform::winerr::SHARING_VIOLATION, [] {
             platform::File file;
             return file.open("o.txt", platform::AccessWrite, platform::Disposition::CreateAlways);
         }},
        {Kind::Read, Error::Io, io.here(), readOne},
        {Kind::Write, Error::DiskFull, platform::winerr::DISK_FULL, writeOne},
        {Kind::Write, Error::Io, io.here(), writeOne},
        {Kind::Flush, Error::DiskFull, platform::winerr::DISK_FULL, flushOne},
        {Kind::Flush, Error::Io, io.here(), [] { return platform::flushFolderOf("present.txt"); }},
        {Kind::Replace, Error::SharingViolation, platform::winerr::SHARING_VIOLATION, [] {
             testsupport::writeFile("r.txt", "new");
             testsupport::writeFile("target.txt", "old");
             return platform::replaceFile("r.txt", "target.txt");
         }},
        {Kind::Delete, Error::AccessDenied, platform::winerr::ACCESS_DENIED, [] {
             testsupport::writeFile("d.txt", "x");
             return platform::deleteFile("d.txt");
         }},
        {Kind::CreateFolder, Error::DiskFull, platform::winerr::DISK_FULL, [] {
             return platform::createDirectory("sub") && platform::removeDirectory("sub");
         }},
        {Kind::ListFolder, Error::AccessDenied, platform::winerr::ACCESS_DENIED, listOne},
        {Kind::SetAttributes, Error::AccessDenied, platform::winerr::ACCESS_DENIED, [] {
             return platform::setAttributes("present.txt", platform::FILE_ATTR_NORMAL);
         }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(platform::fault::kindName(c.kind)) + " " +
                     platform::fault::errorName(c.error));
        platform::fault::setPlan(Plan{c.kind, 1, false, c.error});
        platform::setLastError(platform::winerr::SUCCESS);
        EXPECT_FALSE(c.succeeds());
        EXPECT_EQ(platform::lastError(), c.code);
        EXPECT_TRUE(platform::fault::fired());
        // The second call of the kind is not planned to fail.
        EXPECT_TRUE(c.succeeds()) << platform::lastError();
        EXPECT_GE(platform::fault::calls(c.kind), 2u);
        // The old file is untouched by any failed call.
        EXPECT_EQ(dir.read("present.txt"), "old");
    }
}

TEST_F(FaultInjection, SocketCallsFailWithTheWinsockCode) {
    using namespace platform::net;
    const SocketHandle listener = createSocket(kSockStream);
    ASSERT_NE(listener, kInvalidSocket);
    ASSERT_TRUE(bindSocket(listener, Ipv4Address{0x7F000001, 0}));
    ASSERT_TRUE(listenSocket(listener, 4));
    Ipv4Address bound;
    ASSERT_TRUE(localAddress(listener, bound));
    struct Case {
        Kind kind;
        Error error;
        int code;
    };
    const Case cases[] = {
        {Kind::Connect, Error::TimedOut, wsa::kTimedOut},
        {Kind::Connect, Error::ConnectionReset, wsa::kConnectionReset},
        {Kind::Accept, Error::ConnectionReset, wsa::kConnectionReset},
        {Kind::Send, Error::ConnectionReset, wsa::kConnectionReset},
        {Kind::Receive, Error::TimedOut, wsa::kTimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::fault::kindName(c.kind));
        platform::fault::setPlan(Plan{c.kind, 1, false, c.error});
        const SocketHandle client = createSocket(kSockStream);
        ASSERT_NE(client, kInvalidSocket);
        bool connected = connectSocket(client, bound, 5000);
        if (c.kind == Kind::Connect) {
            EXPECT_FALSE(connected);
            EXPECT_EQ(lastError(), c.code);
            connected = connectSocket(client, bound, 5000);
        }
        ASSERT_TRUE(connected);
        Ipv4Address peer;
        SocketHandle server = acceptSocket(listener, peer);
        if (c.kind == Kind::Accept) {
            EXPECT_EQ(server, kInvalidSocket);
            EXPECT_EQ(lastError(), c.code);
            server = acceptSocket(listener, peer);
        }
        ASSERT_NE(server, kInvalidSocket);
        long sent = sendSome(client, "x", 1);
        if (c.kind == Kind::Send) {
            EXPECT_EQ(sent, -1);
            EXPECT_EQ(lastError(), c.code);
            sent = sendSome(client, "x", 1);
        }
        EXPECT_EQ(sent, 1);
        char byte = 0;
        ASSERT_EQ(waitReadable(server, 5000), 1);
        long received = receiveSome(server, &byte, 1);
        if (c.kind == Kind::Receive) {
            EXPECT_EQ(received, -1);
            EXPECT_EQ(lastError(), c.code);
            received = receiveSome(server, &byte, 1);
        }
        EXPECT_EQ(received, 1);
        EXPECT_TRUE(platform::fault::fired());
        closeSocket(server);
        closeSocket(client);
    }
    closeSocket(listener);
}

TEST_F(FaultInjection, OnwardPlansFailEveryLaterCallAndCountsRestart) {
    platform::fault::setPlan(Plan{Kind::Write, 2, true, Error::DiskFull});
    platform::File file;
    ASSERT_TRUE(file.open("w.txt", platform::AccessWrite, platform::Disposition::CreateAlways));
    EXPECT_EQ(file.write("a", 1), 1);
    for (int call = 2; call <= 4; ++call) EXPECT_EQ(file.write("b", 1), -1) << call;
    EXPECT_EQ(platform::fault::calls(Kind::Write), 4u);
    EXPECT_EQ(platform::fault::calls(Kind::Open), 1u);
    file.close();
    EXPECT_EQ(dir.read("w.txt"), "a");

    platform::fault::setPlan(std::nullopt);
    EXPECT_EQ(platform::fault::calls(Kind::Write), 0u);
    EXPECT_FALSE(platform::fault::fired());
}

// A file written through a temporary one ("KilnDev.ini", the package's side file): its
// data reaches the disk before the rename, and a flush or rename that fails leaves the
// old file whole and no temporary file behind.
TEST_F(FaultInjection, FileWrittenReplacingStaysOldWhenItsFlushOrRenameFails) {
    struct Case {
        Kind kind;
        uint64_t call;
        Error error;
        bool written;
    };
    const Case cases[] = {
        {Kind::Flush, 1, Error::DiskFull, false},
        {Kind::Flush, 1, Error::Io, false},
        {Kind::Write, 1, Error::DiskFull, false},
        {Kind::Replace, 1, Error::AccessDenied, false},
        // The folder's flush, after the rename: the new file is in place either way.
        {Kind::Flush, 2, Error::Io, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(platform::fault::kindName(c.kind)) + " " + std::to_string(c.call));
        dir.write("KilnDev.ini", "[Crash]\nNeedCheck=0\n");
        platform::fault::setPlan(Plan{c.kind, c.call, false, c.error});
        EXPECT_EQ(platform::writeFileReplacing("KilnDev.ini", "[Crash]\nNeedCheck=1\n"), c.written);
        EXPECT_TRUE(platform::fault::fired());
        EXPECT_EQ(dir.read("KilnDev.ini"),
                  c.written ? "[Crash]\nNeedCheck=1\n" : "[Crash]\nNeedCheck=0\n");
        EXPECT_FALSE(dir.exists(platform::replacementPathFor("KilnDev.ini")));
    }
    platform::fault::setPlan(std::nullopt);
    EXPECT_TRUE(platform::writeFileReplacing("KilnDev.ini", "new"));
    EXPECT_GE(platform::fault::calls(Kind::Flush), 1u);
}

}  // namespace
