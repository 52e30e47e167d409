#include "platform/win32/win32_detail.h"
// After <windows.h>:
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/errors.h"
#include "platform/private_file.h"

namespace platform {

namespace {

// "D:P(A;;FA;;;<user>)": full access for the current user alone, nothing inherited from
// the folder.
std::string ownerOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : 1);
    std::string descriptor;
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        char* sid = nullptr;
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        if (ConvertSidToStringSidA(user->User.Sid, &sid)) {
            descriptor = std::string("D:P(A;;FA;;;") + sid + ")";
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return descriptor;
}

}  // namespace

bool createPrivateFile(const std::string& path, std::string_view contents) {
    std::string name;
    if (!systemPath(path, name)) return false;
    const std::string descriptor = ownerOnlyDescriptor();
    PSECURITY_DESCRIPTOR security = nullptr;
    if (descriptor.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                  descriptor.c_str(), SDDL_REVISION_1, &security, nullptr)) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    // CREATE_NEW never opens what is there already, a link included. The access list is
    // given at creation, so the secret is never readable by others, not even briefly.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openError = GetLastError();
    LocalFree(security);
    if (file == INVALID_HANDLE_VALUE) {
        SetLastError(openError);
        return false;
    }
    DWORD error = ERROR_SUCCESS;
    size_t done = 0;
    while (error == ERROR_SUCCESS && done < contents.size()) {
        const size_t left = contents.size() - done;
        DWORD written = 0;
        if (!WriteFile(file, contents.data() + done, left > (1u << 30) ? (1u << 30) : DWORD(left),
                       &written, nullptr))
            error = GetLastError();
        else if (written == 0)
            error = ERROR_DISK_FULL;
        done += written;
    }
    if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
    if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileA(name.c_str());
        SetLastError(error);
        return false;
    }
    return true;
}

}  // namespace platform
