#pragma once
// A zip archive whose entries are encrypted with a password (traditional PKWARE), made
// by a writer other than ours where one can be used: Info-ZIP's zip on Linux. A test
// under Wine cannot wait for a Linux program, so there the tests' own builder writes it.

#include <string>
#include <vector>

namespace testsupport {

// Which writer zipWithPassword uses.
const char* passwordZipWriter();

// Packs the files `names` of `folder` (relative names, kept as the entries' names)
// into `archive`; false on failure.
bool zipWithPassword(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& password, const std::string& archive);

}  // namespace testsupport
