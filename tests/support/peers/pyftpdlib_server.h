#pragma once
// A real FTP server for crash mode: pyftpdlib (tests/support/peers/ftp_server.py) on
// 127.0.0.1, one user with full rights over a root folder. Stopped with the object.

#include <string>

#include "support/system/subprocess.h"

namespace testsupport {

class PyftpdlibServer {
public:
    struct Options {
        std::string root;
        std::string user;
        std::string password;
        int port = 21;               // 0: a free port
        std::string commandLog;      // every command received is appended here
        std::string watch;           // see ftp_server.py
        bool sizeInAnyType = false;  // SIZE answered before TYPE I
    };

    // Empty when Debian's python3 with pyftpdlib is there, else what is missing.
    static std::string missing();

    explicit PyftpdlibServer(const Options& options);

    bool running() const { return port_ > 0; }
    int port() const { return port_; }

private:
    Subprocess server_;
    int port_ = 0;
};

}  // namespace testsupport
