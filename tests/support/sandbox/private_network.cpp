#include "support/sandbox/private_network.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/peers/pyftpdlib_server.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/user_namespace.h"
#include "support/system/subprocess.h"

namespace testsupport {

bool enterPrivateNetwork(std::string& why) {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
        if (!mapSelfAsRoot(uid, gid, why)) return false;
    } else if (uid != 0 || ::unshare(CLONE_NEWNET) != 0) {
        why = std::string("unshare of a network namespace refused: ") + std::strerror(errno);
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) ::close(fd);
    if (!up) why = std::string("cannot bring the loopback up: ") + std::strerror(errno);
    return up;
}

bool narrowLoopback(std::string& why) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    request.ifr_mtu = 1500;
    const bool mtuSet = fd >= 0 && ::ioctl(fd, SIOCSIFMTU, &request) == 0;
    if (fd >= 0) ::close(fd);
    if (!mtuSet) {
        why = std::string("cannot set the loopback's MTU: ") + std::strerror(errno);
        return false;
    }
    // Minimum, default and largest size; the network's own, not the machine's.
    if (!writeKernelFile("/proc/sys/net/ipv4/tcp_wmem", "4096 16384 16384\n") ||
        !writeKernelFile("/proc/sys/net/ipv4/tcp_rmem", "4096 16384 16384\n")) {
        why = std::string("cannot set the network's TCP buffers: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool privateNetworkAvailable(std::string& why) {
    Subprocess child = Subprocess::fork([] {
        std::string reason;
        const bool ok = enterPrivateNetwork(reason);
        if (!ok) (void)!::write(STDOUT_FILENO, reason.data(), reason.size());
        return ok ? 0 : 1;
    });
    if (child.wait(10000) && child.exitCode() == 0) return true;
    why =
        child.output().empty() ? "a private network namespace cannot be made here" : child.output();
    return false;
}

void inPrivateNetwork(const std::function<void()>& body) {
    int code = runInChild([&] {
        std::string why;
        if (!enterPrivateNetwork(why)) {
            ADD_FAILURE() << why;
            return 1;
        }
        body();
        return childResult();
    });
    EXPECT_EQ(code, 0) << "the checks in the child failed (see above)";
}

std::string port21ServerMissing(bool pyftpdlib) {
    std::string why;
    if (!privateNetworkAvailable(why))
        return "a private network namespace (unshare -rn) for port 21: " + why;
    return pyftpdlib ? PyftpdlibServer::missing() : "";
}

}  // namespace testsupport
