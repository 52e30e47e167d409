// The catalogue as a user of a UTF-8 locale reads it. Linux only: there the "ANSI code
// page" is the codeset of the process's locale, which a child process of the test can
// choose; on Windows it is the system's code page, fixed for every process.

#include <gtest/gtest.h>

#include <clocale>

#include "config/catalogue.h"
#include "config/catalogue_default_texts.h"
#include "config/update_context.h"
#include "support/sandbox/child_process.h"

TEST(Catalogue, BuiltInDefaultsReachAUtf8UserByteForByte) {
    for (const auto& c : kCatalogueDefaults) {
        SCOPED_TRACE(c.key);
        // A fresh process reads the locale's codeset once.
        int rc = testsupport::runInChild([&] {
            if (!std::setlocale(LC_CTYPE, "C.UTF-8")) return 2;
            updateContext.messages.LoadFromMemory("", 0);
            testing::internal::CaptureStderr();
            EXPECT_EQ(catalogueText(c.key), c.utf8);
            testing::internal::GetCapturedStderr();
            return testsupport::childResult();
        });
        EXPECT_EQ(rc, 0);
    }
}

TEST(Catalogue, CatalogueTextsOverrideDefaultsUnlessEmpty) {
    int rc = testsupport::runInChild([] {
        if (!std::setlocale(LC_CTYPE, "C.UTF-8")) return 2;
        const std::string text = "[boot]\nmsg_net_error=Offline\nMSG_UAC_TITLE=\n";
        updateContext.messages.LoadFromMemory(text.data(), text.size());
        updateContext.messages.section = "Elsewhere";  // the look-up sets its own section
        testing::internal::CaptureStderr();
        EXPECT_EQ(catalogueText("MSG_NET_ERROR"), "Offline");
        EXPECT_EQ(catalogueText("MSG_UAC_TITLE"), kCatalogueDefaults[0].utf8);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        return testsupport::childResult();
    });
    EXPECT_EQ(rc, 0);
}
