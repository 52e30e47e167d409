#include "ftp/blocking_socket_exception.h"

#include <cstdio>

#include "platform/net.h"

namespace nsSocket {

CBlockingSocketException::CBlockingSocketException(const char* operation)
    : errorCode(platform::net::lastError()), operation(operation) {}

CBlockingSocketException::CBlockingSocketException(const char* operation, int errorCode)
    : errorCode(errorCode), operation(operation) {}

std::string CBlockingSocketException::Describe() const {
    char text[512] = {};
    DescribeInto(text, sizeof text);
    return text;
}

bool CBlockingSocketException::DescribeInto(char* buffer, unsigned size, unsigned*) const {
    if (buffer == nullptr || size == 0) return true;
    if (errorCode == 0)
        std::snprintf(buffer, size, "%s error", operation.c_str());
    else
        std::snprintf(buffer, size, "%s error 0x%08x", operation.c_str(),
                      static_cast<unsigned>(errorCode));
    return true;
}

}  // namespace nsSocket
