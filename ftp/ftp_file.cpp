#include "ftp/ftp_file.h"

#include "platform/file_stream.h"
#include "platform/files.h"

namespace nsFTP {

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, const char* mode) {
    Close();
    file = platform::openFileStream(path, mode);
    return file != nullptr;
}

bool CFile::Open(const platform::Folder& folder, const std::string& name) {
    Close();
    file = folder.openFileStream(name);
    return file != nullptr;
}

void CFile::Close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
}

long long CFile::Size() {
    if (file == nullptr || !platform::seekFileStream(file, 0, platform::SeekFrom::End)) return -1;
    return platform::tellFileStream(file);
}

bool CFile::Seek(long long offset) {
    return file != nullptr && platform::seekFileStream(file, offset, platform::SeekFrom::Begin);
}

void CFile::ConsumeReceived(const std::vector<char>& buffer, long count) {
    if (file == nullptr || count <= 0) return;
    std::fwrite(buffer.data(), 1, static_cast<size_t>(count), file);
}

void CFile::FillToSend(std::vector<char>& buffer, size_t& count) {
    count = file == nullptr ? 0 : std::fread(buffer.data(), 1, buffer.size(), file);
}

}  // namespace nsFTP
