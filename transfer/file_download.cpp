#include "transfer/file_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/errors.h"
#include "platform/file_checks.h"
#include "platform/net.h"
#include "platform/ui.h"

CFileDownLoad fileDownLoad;

namespace {

size_t writeCallback(char* data, size_t size, size_t count, void* handler) {
    return static_cast<HFILE_trait*>(handler)->write(data, size * count);
}

int progressCallback(void* handler, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                     curl_off_t ulnow) {
    bool goOn = static_cast<my_progress_trait*>(handler)->progress(double(dltotal), double(dlnow),
                                                                   double(ultotal), double(ulnow));
    return goOn ? 0 : 1;
}

// What the headers of the last response said; headers never reach the file.
struct ResponseHeaders {
    CFileDownLoad* owner = nullptr;
    long long resumeFrom = 0;
    long status = 0;
    std::string contentRange;
    std::string etag;
    std::string lastModified;
    bool wholeFileForResume = false;  // a resumed request answered with the whole file
};

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The value of a header line "Name: value", when the line is that header.
bool headerValue(const std::string& line, const std::string& lowerName, std::string& value) {
    if (line.size() <= lowerName.size() || lowerCase(line.substr(0, lowerName.size())) != lowerName)
        return false;
    const size_t begin = line.find_first_not_of(" \t", lowerName.size());
    const size_t end = line.find_last_not_of(" \t\r\n");
    value = begin == std::string::npos || end < begin ? "" : line.substr(begin, end + 1 - begin);
    return true;
}

// Longer validators are no server's honest ones; such a file is continued without.
constexpr size_t kMaxValidator = 512;

// The validator If-Range may carry: a strong ETag, else the Last-Modified date.
std::string validatorOf(const ResponseHeaders& headers) {
    std::string validator = headers.lastModified;
    if (!headers.etag.empty() && headers.etag.rfind("W/", 0) != 0) validator = headers.etag;
    return validator.size() <= kMaxValidator ? validator : std::string();
}

size_t headerCallback(char* data, size_t size, size_t count, void* state) {
    const std::string line(data, size * count);
    auto& headers = *static_cast<ResponseHeaders*>(state);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response (after a 100 Continue, say): only its own headers count.
        ResponseHeaders fresh;
        fresh.owner = headers.owner;
        fresh.resumeFrom = headers.resumeFrom;
        headers = fresh;
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            headers.status = std::strtol(line.c_str() + space + 1, nullptr, 10);
        return size * count;
    }
    std::string value;
    if (headerValue(line, "content-range:", value)) headers.contentRange = value;
    if (headerValue(line, "etag:", value)) headers.etag = value;
    if (headerValue(line, "last-modified:", value)) headers.lastModified = value;
    const bool endOfHeaders = line == "\r\n" || line == "\n";
    if (endOfHeaders && (headers.status == 200 || headers.status == 206)) {
        // The server's file has changed (If-Range), or the server ignores ranges: its
        // bytes must not be appended to the partial target. The attempt ends here.
        if (headers.resumeFrom > 0 && headers.status == 200) {
            headers.wholeFileForResume = true;
            return 0;
        }
        // Before the first byte lands, so the caller can note where the bytes come from.
        headers.owner->resumeValidator = validatorOf(headers);
        if (headers.owner->onResponse) headers.owner->onResponse(headers.owner->resumeValidator);
    }
    return size * count;
}

// The complete length of "bytes */N" (or "bytes A-B/N"); -1 when not given.
long long completeLength(const std::string& contentRange) {
    auto slash = contentRange.find('/');
    if (slash == std::string::npos) return -1;
    char* end = nullptr;
    long long length = std::strtoll(contentRange.c_str() + slash + 1, &end, 10);
    return end == contentRange.c_str() + slash + 1 ? -1 : length;
}

constexpr long kReceiveBlock = 100 * 1024;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

long transferSslOptions() {
    return platform::net::tlsRevocationFailsHard() ? long(CURLSSLOPT_REVOKE_BEST_EFFORT) : 0L;
}

CFileDownLoad::CFileDownLoad(TransferLimits limits) : limits_(limits) {
    curl_global_init(CURL_GLOBAL_ALL);
}

CFileDownLoad::~CFileDownLoad() { curl_global_cleanup(); }

size_t HFILE_trait::write(const char* data, size_t size) {
    if (room_ >= 0 && static_cast<unsigned long long>(room_) < size) {
        overflowed_ = true;
        return 0;
    }
    int64_t written = file_.write(data, size);
    if (written != int64_t(size)) {
        const uint32_t error = platform::lastError();
        outOfSpace_ =
            error == platform::winerr::DISK_FULL || error == platform::winerr::HANDLE_DISK_FULL;
    }
    if (written < 0) return 0;
    if (room_ >= 0) room_ -= written;
    return size_t(written);
}

bool my_progress_trait::progress(double dltotal, double dlnow, double, double) {
    double percent = dltotal > 0 ? dlnow / dltotal * 100.0 : 0.0;
    if (owner->progressSink) owner->progressSink->SetProgress(float(percent));
    return true;
}

void CFileDownLoad::TransferAttempt(platform::File& target, long long resumeFrom,
                                    long long timeoutMs) {
    char errorText[CURL_ERROR_SIZE] = {};
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) throw TransferError(CURLE_FAILED_INIT, "cannot create an easy handle");
    CURL* e = easy.get();
    auto check = [&](CURLcode code) {
        if (code != CURLE_OK)
            throw TransferError(code, errorText[0] ? errorText : curl_easy_strerror(code));
    };
    check(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText));

    // Counted here as well: a body without a length is only known by its bytes.
    const long long room = maxFileSize > 0 ? std::max(0LL, maxFileSize - resumeFrom) : -1;
    HFILE_trait output(target, room);
    check(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, writeCallback));
    check(curl_easy_setopt(e, CURLOPT_WRITEDATA, &output));
    check(curl_easy_setopt(e, CURLOPT_RESUME_FROM_LARGE, curl_off_t(resumeFrom)));
    // A larger size announced fails at once; a continued file may take only the rest.
    if (room > 0) check(curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(room)));
    if (timeoutMs > 0) check(curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(timeoutMs)));
    std::unique_ptr<curl_slist, SlistDeleter> extraHeaders;
    if (resumeFrom > 0 && !resumeValidator.empty() &&
        resumeValidator.find_first_of("\r\n") == std::string::npos) {
        const std::string ifRange = "If-Range: " + resumeValidator;
        extraHeaders.reset(curl_slist_append(nullptr, ifRange.c_str()));
        if (!extraHeaders) throw TransferError(CURLE_OUT_OF_MEMORY, "no memory for a header");
        check(curl_easy_setopt(e, CURLOPT_HTTPHEADER, extraHeaders.get()));
    }
    char request[1536];
    std::snprintf(request, sizeof request, "%s%s", url, remotePath);
    check(curl_easy_setopt(e, CURLOPT_URL, request));
    if (port > 0) check(curl_easy_setopt(e, CURLOPT_PORT, long(port)));
    if (const long sslOptions = transferSslOptions())
        check(curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, sslOptions));
    check(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L));
    my_progress_trait progress(this);
    check(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, progressCallback));
    check(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &progress));
    check(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, limits_.connectTimeoutSeconds));
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, limits_.stallBytesPerSecond));
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits_.stallSeconds));
    // The block size of the curl tool: libcurl's default of 16 KiB costs a third more
    // time on a fast link. Each block is still written as it comes.
    check(curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBlock));
    ResponseHeaders headers;
    headers.owner = this;
    headers.resumeFrom = resumeFrom;
    check(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, headerCallback));
    check(curl_easy_setopt(e, CURLOPT_HEADERDATA, &headers));
    responseStatus = 0;
    const CURLcode performed = curl_easy_perform(e);
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &responseStatus);
    if (output.overflowed() || performed == CURLE_FILESIZE_EXCEEDED)
        throw TransferError(CURLE_FILESIZE_EXCEEDED, "the file is larger than allowed");
    if (output.outOfSpace())
        throw TransferError(CURLE_WRITE_ERROR, "no space left for the file", true);
    if (headers.wholeFileForResume)
        throw TransferError(CURLE_RANGE_ERROR, "the server sent the whole file");
    check(performed);
    const std::string& contentRange = headers.contentRange;

    // libcurl takes 416 for "already complete". That holds only when the server's file
    // is as long as ours; otherwise the target is a stale partial of another file, and
    // keeping it would hand a broken package on.
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    if (resumeFrom > 0 && status == 416) {
        long long length = completeLength(contentRange);
        // Not every server names the length in its 416 answer (lighttpd does not).
        if (length < 0) length = RemoteLength(request);
        if (length >= 0 && length != resumeFrom)
            throw TransferError(CURLE_RANGE_ERROR, "the target is not the server's file");
    }
}

long long CFileDownLoad::RemoteLength(const char* request) {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return -1;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, request);
    if (port > 0) curl_easy_setopt(e, CURLOPT_PORT, long(port));
    if (const long sslOptions = transferSslOptions())
        curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, sslOptions);
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, limits_.connectTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, limits_.stallBytesPerSecond);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits_.stallSeconds);
    long status = 0;
    curl_off_t length = -1;
    if (curl_easy_perform(e) != CURLE_OK ||
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200 ||
        curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return length;
}

int CFileDownLoad::Download() {
    char path[1024];
    std::snprintf(path, sizeof path, "%s%s", localDir, localName);

    // An existing target is continued, never truncated. While it is being written only
    // deleting it is shared; a new one is not shared at all. Something under its name
    // that is no regular file (a FIFO, a device) counts as no target: it goes, and a new
    // file takes its place.
    file.close();
    // A link under the name goes as a link: the download must not land in its target.
    if (platform::isSymbolicLink(path)) platform::deleteFile(path);
    constexpr unsigned kAccess = platform::AccessWrite | platform::AccessExecute;
    platform::CreateOptions existing;
    existing.share = platform::ShareDelete;
    platform::CreateOptions created;
    created.share = platform::ShareNone;
    bool opened = file.open(path, kAccess, platform::Disposition::OpenExisting, existing);
    if (!opened) {
        // A regular file that could not be opened (read-only, say) stays, and the
        // attempts fail on it as before.
        const auto attributes = platform::getAttributes(path);
        if (attributes && !(*attributes & platform::FILE_ATTR_DIRECTORY) &&
            !platform::isRegularFile(path))
            platform::deleteFile(path);
        opened = file.open(path, kAccess, platform::Disposition::CreateAlways, created);
    }

    int result = 0;
    bool dropTarget = false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds > 0 ? maxSeconds : 0);
    for (int attemptsLeft = 3; opened && attemptsLeft > 0;) {
        int64_t size = file.size();
        if (size < 0 || file.seek(size, platform::SeekFrom::Begin) != size) break;
        long long timeoutMs = 0;
        if (maxSeconds > 0) {
            timeoutMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (timeoutMs <= 0) break;
        }
        --attemptsLeft;
        try {
            TransferAttempt(file, size, timeoutMs);
            result = 1;
            break;
        } catch (const TransferError& error) {
            // A file that is too large stays so, and a full disk stays full: no attempt
            // can fetch it.
            if (error.code == CURLE_FILESIZE_EXCEEDED || error.outOfSpace) {
                dropTarget = true;
                break;
            }
            // The server will not continue this file: start it over, or every later
            // run would fail on the same partial file.
            if (error.code == CURLE_RANGE_ERROR) {
                file.close();
                opened = file.open(path, kAccess, platform::Disposition::CreateAlways, created);
            }
        } catch (...) {
            // Anything else (no memory for a buffer or a header, say) fails this attempt
            // too, and the next one continues from what reached the file.
        }
    }
    file.close();
    // Nothing of it is kept: the part would only be continued into a file as large,
    // and the disk is left with the room it had.
    if (dropTarget) platform::deleteFile(path);

    if (!result) {
        // Both texts hold at most 511 characters, as their buffers did.
        std::string where = std::string(url) + ":" + std::to_string(port) + " " + remotePath;
        if (where.size() > 511) where.resize(511);
        std::string text = "Download " + where + " fail!!";
        if (text.size() > 511) text.resize(511);
        platform::ui::messageBox(text, "Error");
    }
    return result;
}
