#pragma once
// What a folder search lists, for the folder search tests of every system.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"

// Every entry of `folder` in the order the search gives them; the search must end with
// "no more files".
inline std::vector<platform::FindEntry> listFolder(const std::string& folder) {
    std::vector<platform::FindEntry> entries;
    platform::FolderSearch search;
    platform::FindEntry entry;
    if (!search.first(folder, entry)) return entries;
    do entries.push_back(entry);
    while (search.next(entry));
    EXPECT_EQ(platform::lastError(), platform::winerr::NO_MORE_FILES);
    return entries;
}
