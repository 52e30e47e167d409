#pragma once
// HTTP download of one file over libcurl's easy interface, continuing a partial target,
// with three attempts and a message box when all of them fail.

#include <cstddef>
#include <stdexcept>
#include <string>

#include "platform/files.h"
#include "transfer/iprogress.h"

// Limits of one attempt, so a dead or stalled server ends in the retries and the
// failure message instead of a dialog that never closes.
struct TransferLimits {
    long connectTimeoutSeconds = 30;
    long stallSeconds = 60;  // less than 1 byte/s for this long fails the attempt
};

// A failed attempt: libcurl's result and error text.
class TransferError : public std::runtime_error {
public:
    TransferError(int code, const std::string& text) : std::runtime_error(text), code(code) {}
    int code;
};

class CFileDownLoad {
public:
    // Performs libcurl's global initialisation; the destructor cleans it up.
    explicit CFileDownLoad(TransferLimits limits = {});
    virtual ~CFileDownLoad();
    CFileDownLoad(const CFileDownLoad&) = delete;
    CFileDownLoad& operator=(const CFileDownLoad&) = delete;

    char url[1024] = {};
    char localDir[512] = {};  // prefix of the target path, used as typed
    char localName[512] = {};
    char remotePath[512] = {};  // below url
    int port = -1;              // used only when greater than 0
    platform::File file;
    Iprogress* progressSink = nullptr;

    // 1 when the transfer completed, 0 when three attempts failed (the user has been told).
    int Download();

    // One transfer with a fresh easy handle; throws TransferError when it fails.
    void TransferAttempt(platform::File& target, long long resumeFrom);

private:
    // The length of the server's file from a HEAD request; -1 when unknown.
    long long RemoteLength(const char* request);

    TransferLimits limits_;
};

// Copies a text into one of the fixed fields, cut to fit.
template <size_t N>
void setField(char (&field)[N], const std::string& value) {
    size_t n = value.size() < N - 1 ? value.size() : N - 1;
    value.copy(field, n);
    field[n] = '\0';
}

// Writes each block libcurl delivers to the target with one write.
class HFILE_trait {
public:
    explicit HFILE_trait(platform::File& file) : file_(file) {}
    virtual ~HFILE_trait() = default;
    // Bytes written; anything short of `size` fails the attempt.
    virtual size_t write(const char* data, size_t size);

private:
    platform::File& file_;
};

// Passes the percentage of the current request to the owner's progress sink.
class my_progress_trait {
public:
    explicit my_progress_trait(CFileDownLoad* owner) : owner(owner) {}
    virtual ~my_progress_trait() = default;
    virtual bool progress(double dltotal, double dlnow, double ultotal, double ulnow);

    CFileDownLoad* owner;
};

// The process-wide download object.
extern CFileDownLoad fileDownLoad;
