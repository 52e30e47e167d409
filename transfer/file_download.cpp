#include "transfer/file_download.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

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

// Keeps the Content-Range of the last response; headers never reach the file.
size_t headerCallback(char* data, size_t size, size_t count, void* range) {
    std::string line(data, size * count);
    auto& kept = *static_cast<std::string*>(range);
    if (line.rfind("HTTP/", 0) == 0) kept.clear();
    const std::string name = "content-range:";
    if (line.size() > name.size()) {
        std::string start = line.substr(0, name.size());
        for (char& c : start) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (start == name) kept = line.substr(name.size());
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

}  // namespace

CFileDownLoad::CFileDownLoad(TransferLimits limits) : limits_(limits) {
    curl_global_init(CURL_GLOBAL_ALL);
}

CFileDownLoad::~CFileDownLoad() { curl_global_cleanup(); }

size_t HFILE_trait::write(const char* data, size_t size) {
    int64_t written = file_.write(data, size);
    return written < 0 ? 0 : size_t(written);
}

bool my_progress_trait::progress(double dltotal, double dlnow, double, double) {
    double percent = dltotal > 0 ? dlnow / dltotal * 100.0 : 0.0;
    if (owner->progressSink) owner->progressSink->SetProgress(float(percent));
    return true;
}

void CFileDownLoad::TransferAttempt(platform::File& target, long long resumeFrom) {
    char errorText[CURL_ERROR_SIZE] = {};
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) throw TransferError(CURLE_FAILED_INIT, "cannot create an easy handle");
    CURL* e = easy.get();
    auto check = [&](CURLcode code) {
        if (code != CURLE_OK)
            throw TransferError(code, errorText[0] ? errorText : curl_easy_strerror(code));
    };
    check(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText));

    HFILE_trait output(target);
    check(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, writeCallback));
    check(curl_easy_setopt(e, CURLOPT_WRITEDATA, &output));
    check(curl_easy_setopt(e, CURLOPT_RESUME_FROM_LARGE, curl_off_t(resumeFrom)));
    char request[1536];
    std::snprintf(request, sizeof request, "%s%s", url, remotePath);
    check(curl_easy_setopt(e, CURLOPT_URL, request));
    if (port > 0) check(curl_easy_setopt(e, CURLOPT_PORT, long(port)));
    check(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L));
    my_progress_trait progress(this);
    check(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, progressCallback));
    check(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &progress));
    check(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, limits_.connectTimeoutSeconds));
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L));
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits_.stallSeconds));
    // The block size of the curl tool: libcurl's default of 16 KiB costs a third more
    // time on a fast link. Each block is still written as it comes.
    check(curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBlock));
    std::string contentRange;
    check(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, headerCallback));
    check(curl_easy_setopt(e, CURLOPT_HEADERDATA, &contentRange));
    check(curl_easy_perform(e));

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
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, limits_.connectTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
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
    // deleting it is shared; a new one is not shared at all.
    file.close();
    constexpr unsigned kAccess = platform::AccessWrite | platform::AccessExecute;
    platform::CreateOptions existing;
    existing.share = platform::ShareDelete;
    platform::CreateOptions created;
    created.share = platform::ShareNone;
    bool opened = file.open(path, kAccess, platform::Disposition::OpenExisting, existing) ||
                  file.open(path, kAccess, platform::Disposition::CreateAlways, created);

    int result = 0;
    for (int attemptsLeft = 3; opened && attemptsLeft > 0;) {
        int64_t size = file.size();
        if (size < 0 || file.seek(size, platform::SeekFrom::Begin) != size) break;
        --attemptsLeft;
        try {
            TransferAttempt(file, size);
            result = 1;
            break;
        } catch (const TransferError& error) {
            // The server will not continue this file: start it over, or every later
            // run would fail on the same partial file.
            if (error.code == CURLE_RANGE_ERROR) {
                file.close();
                opened = file.open(path, kAccess, platform::Disposition::CreateAlways, created);
            }
        } catch (...) {
        }
    }
    file.close();

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
