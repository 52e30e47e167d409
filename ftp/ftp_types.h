#pragma once
// The value types the FTP client speaks in.

#include <string>

namespace nsFTP {

// Result of every simple command.
using FtpResult = int;
constexpr FtpResult ResultOk = 0;        // 2xx
constexpr FtpResult ResultNegative = 1;  // 4xx, 5xx
constexpr FtpResult ResultError = -1;    // 1xx, 3xx, no valid reply, or the send failed

struct CLogonData {
    std::string host;
    unsigned short port = 21;
    std::string user = "anonymous";
    std::string password;
    std::string account;
    std::string firewallHost;
    std::string firewallUser;
    std::string firewallPassword;
    unsigned short firewallPort = 21;
    int firewallMode = 0;
};

struct CFtpReply {
    std::string text;   // the reply's lines joined by "\r\n", no line end at the end
    char code[4] = {};  // three digits and a zero; all zero when the reply is invalid
};

struct CTransferType {
    enum Kind { Ascii = 0, Ebcdic = 1, Image = 2, LocalByte = 3 };
    enum Format { NonPrint = 0, Telnet = 1, CarriageControl = 2 };

    int kind = Ascii;
    int format = NonPrint;

    friend bool operator==(const CTransferType&, const CTransferType&) = default;
};

enum DataCommand { List = 0, NameList = 1, Retrieve = 2, Store = 3, StoreUnique = 4, Append = 5 };

}  // namespace nsFTP
