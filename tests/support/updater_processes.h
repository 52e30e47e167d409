#pragma once
// Tests that start or end processes under the client updater's names. The hand-over
// ends every process of those names, also one that another test program running side
// by side has just started, so such tests take turns through one lock file.

#include <string>
#include <vector>

namespace testsupport {

class UpdaterProcessLock {
public:
    UpdaterProcessLock();
    ~UpdaterProcessLock();
    UpdaterProcessLock(const UpdaterProcessLock&) = delete;
    UpdaterProcessLock& operator=(const UpdaterProcessLock&) = delete;

private:
    int fd_ = -1;
};

// The records that the stand-in updater (tests/programs/record_args) appended to
// "args.txt" in `folder`: one list of arguments per start.
using ArgumentRecords = std::vector<std::vector<std::string>>;
ArgumentRecords readArgumentRecords(const std::string& folder);

// Waits (at most `seconds`) until `count` records are there; returns what is there.
ArgumentRecords waitForArgumentRecords(const std::string& folder, size_t count, int seconds = 10);

// Waits (at most `seconds`) for a child of ours to end and reaps it. The signal that
// ended it goes to `signal` (0 when it exited). False when it did not end; it is then
// killed and reaped.
bool reapChild(int pid, int* signal = nullptr, int seconds = 10);

}  // namespace testsupport
