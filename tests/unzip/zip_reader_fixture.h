#pragma once
// What the zip reader's tests on every system and on Linux alone share: a temporary
// current folder, an archive opened from bytes, an entry plan and a sample text.

#include <gtest/gtest.h>

#include <string>

#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/system/temp_dir.h"

namespace testsupport {

class ZipReaderFixture : public testing::Test {
protected:
    void SetUp() override { dir.enter(); }

    ZipReaderHandle openBytes(const std::string& bytes, const char* password = nullptr) {
        dir.write("archive.zip", bytes);
        return openZip("archive.zip", password);
    }

    TempDir dir;
};

inline ZipEntryPlan entry(const std::string& name, const std::string& data, bool deflate = false) {
    ZipEntryPlan e;
    e.name = name;
    e.data = data;
    e.deflate = deflate;
    return e;
}

inline const std::string kZipSampleText =
    "The launcher keeps the client updater current.\n"
    "The launcher keeps the client updater current.\n";

}  // namespace testsupport
