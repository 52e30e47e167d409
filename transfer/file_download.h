#pragma once
// HTTP download of one file over libcurl's easy interface, continuing a partial target,
// with three attempts and a message box when all of them fail.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/files.h"
#include "transfer/iprogress.h"

// Limits of one attempt, so a dead, stalled or trickling server ends in the retries and
// the failure message instead of a dialog that never closes.
struct TransferLimits {
    long connectTimeoutSeconds = 30;
    // Less than stallBytesPerSecond for stallSeconds fails the attempt.
    long stallSeconds = 60;
    long stallBytesPerSecond = 1024;
};

// A failed attempt: libcurl's result and error text.
class TransferError : public std::runtime_error {
public:
    TransferError(int code, const std::string& text, bool outOfSpace = false)
        : std::runtime_error(text), code(code), outOfSpace(outOfSpace) {}
    int code;
    bool outOfSpace;  // a write failed for lack of space
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
    // The largest file accepted, 0 for any: a larger one fails the download at once and
    // the target is removed, as it is when the disk has no room left for it.
    long long maxFileSize = 0;
    // The longest the whole download may take, all attempts together, in seconds; 0 for
    // no bound but the attempts' own. Once it has passed the download fails as after
    // its last attempt.
    long maxSeconds = 0;
    // With a validator of the server's file (an ETag or a Last-Modified date), a partial
    // target is continued only while the server's file still has it (If-Range): a server
    // whose file has changed sends the whole file, which the target then starts over
    // with. After each response it holds that response's validator.
    std::string resumeValidator;
    // Told, before the first byte of a response reaches the target, the validator of the
    // file it brings (ETag, else Last-Modified; empty when the server names none).
    std::function<void(const std::string& validator)> onResponse;
    // The HTTP status of the last attempt's response, 0 when none came. The launcher
    // keeps whatever body came (an error page too); the operator's check tells.
    long responseStatus = 0;

    // 1 when the transfer completed, 0 when the attempts failed (the user has been told).
    // A target that is no regular file (a FIFO, a device) is removed and made anew.
    int Download();

    // One transfer with a fresh easy handle; throws TransferError when it fails.
    // `timeoutMs`, when above 0, ends it after that long.
    void TransferAttempt(platform::File& target, long long resumeFrom, long long timeoutMs = 0);

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
    // `room`: bytes the target may still take; negative for any number.
    explicit HFILE_trait(platform::File& file, long long room = -1) : file_(file), room_(room) {}
    virtual ~HFILE_trait() = default;
    // Bytes written; anything short of `size` fails the attempt.
    virtual size_t write(const char* data, size_t size);
    // A block did not fit the room left.
    bool overflowed() const { return overflowed_; }
    // A write failed because the disk is full.
    bool outOfSpace() const { return outOfSpace_; }

private:
    platform::File& file_;
    long long room_;
    bool overflowed_ = false;
    bool outOfSpace_ = false;
};

// Passes the percentage of the current request to the owner's progress sink.
class my_progress_trait {
public:
    explicit my_progress_trait(CFileDownLoad* owner) : owner(owner) {}
    virtual ~my_progress_trait() = default;
    virtual bool progress(double dltotal, double dlnow, double ultotal, double ulnow);

    CFileDownLoad* owner;
};

// The CURLOPT_SSL_OPTIONS bits of every request: CURLSSLOPT_REVOKE_BEST_EFFORT where the
// system's TLS would fail a handshake whose revocation check cannot be made, else none.
long transferSslOptions();

// The process-wide download object.
extern CFileDownLoad fileDownLoad;
