#pragma once
// What the stand-in client updater (tests/programs/record_args) recorded of its starts.

#include <string>
#include <vector>

namespace testsupport {

// The records that the stand-in appended to "args.txt" in `folder`: one list of
// arguments per start.
using ArgumentRecords = std::vector<std::vector<std::string>>;
ArgumentRecords readArgumentRecords(const std::string& folder);

// Waits (at most `seconds`) until `count` records are there; returns what is there.
ArgumentRecords waitForArgumentRecords(const std::string& folder, size_t count, int seconds = 10);

}  // namespace testsupport
