#pragma once

#include <string>

namespace nsSocket {

// The one failure type of the socket layer: the failed operation's word and the
// socket error number read when the failure was raised. Raised by value, caught by
// reference.
class CBlockingSocketException {
public:
    explicit CBlockingSocketException(const char* operation);
    CBlockingSocketException(const char* operation, int errorCode);
    virtual ~CBlockingSocketException() = default;

    // "%s error", or "%s error 0x%08x" when there is an error number.
    virtual std::string Describe() const;
    // Writes the message, cut to `size`, into `buffer`; `unused` is ignored.
    virtual bool DescribeInto(char* buffer, unsigned size, unsigned* unused = nullptr) const;

    int errorCode;
    std::string operation;
};

}  // namespace nsSocket
