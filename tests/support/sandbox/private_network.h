#pragma once
// A network namespace of the process's own, for servers on fixed ports such as 21:
// only its loopback interface exists, and nothing reaches the machine's network.

#include <functional>
#include <string>

namespace testsupport {

// Moves the calling process into a new user and network namespace (a plain network
// namespace when that is refused to root) and brings its loopback up. Only for a
// single-threaded process, such as a child of runInChild. On failure `why` says why.
bool enterPrivateNetwork(std::string& why);

// Makes the loopback of a private network hold little of a transfer, as a slow path
// does: an MTU of 1500 bytes and TCP buffers of 16 KiB a direction. Loopback's own (64
// KiB segments, buffers that grow to megabytes) takes megabytes of a transfer at once,
// and a sender then waits on a slow peer for a third of its buffer at a time: a test of
// a peer that reads below a rate would see a wait's time-out instead. A test of a slow
// peer calls this inside the network.
bool narrowLoopback(std::string& why);

// Whether a private network can be made here; `why` tells the reason when not.
// Tries it in a child, so the caller stays where it is.
bool privateNetworkAvailable(std::string& why);

// Runs `body` in a child inside a private network, where a server may take port 21;
// the child's failed checks fail the calling test.
void inPrivateNetwork(const std::function<void()>& body);

// What a test that serves FTP on port 21 lacks here, or "" when it can run: a private
// network namespace and, with `pyftpdlib`, that server.
std::string port21ServerMissing(bool pyftpdlib);

// The crash-mode tests' preamble: skips the calling test (GTEST_SKIP returns from it)
// where port21ServerMissing names something.
#define SKIP_WITHOUT_PORT_21_SERVER(pyftpdlib)                                    \
    do {                                                                          \
        if (std::string missing_ = ::testsupport::port21ServerMissing(pyftpdlib); \
            !missing_.empty())                                                    \
            GTEST_SKIP() << "needs " << missing_;                                 \
    } while (0)

}  // namespace testsupport
