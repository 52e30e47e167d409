#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ftp/ftp_observer.h"

namespace platform {
class Folder;
}

namespace nsFTP {

// A local file as the source or sink of a transfer.
class CFile : public ITransferNotification {
public:
    CFile() = default;
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // fopen with the path and mode text; false (with the system's last error) on failure.
    bool Open(const std::string& path, const char* mode);
    // The regular file `name` of an open folder, for reading ("rb"); never a link.
    bool Open(const platform::Folder& folder, const std::string& name);
    void Close();
    bool IsOpen() const { return file != nullptr; }
    // The file's length, -1 when it cannot be told.
    long long Size();
    bool Seek(long long offset);

    void ConsumeReceived(const std::vector<char>& buffer, long count) override;
    void FillToSend(std::vector<char>& buffer, size_t& count) override;

private:
    std::FILE* file = nullptr;
};

}  // namespace nsFTP
