#include "unzip/zip_file_io.h"

#include <algorithm>
#include <cstring>

namespace {

ZipFileIo* io(voidpf opaque) { return static_cast<ZipFileIo*>(opaque); }

voidpf ZCALLBACK openFile(voidpf opaque, const void*, int mode) {
    // Reading only; the file was opened by the reader before minizip saw it.
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return io(opaque)->file;
}

uLong ZCALLBACK readFile(voidpf opaque, voidpf, void* buffer, uLong size) {
    const int64_t n = io(opaque)->read(buffer, size);
    return n < 0 ? 0 : static_cast<uLong>(n);
}

uLong ZCALLBACK writeFile(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellFile(voidpf opaque, voidpf) {
    return static_cast<ZPOS64_T>(io(opaque)->position);
}

long ZCALLBACK seekFile(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
    ZipFileIo* self = io(opaque);
    platform::SeekFrom from = platform::SeekFrom::Begin;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            from = platform::SeekFrom::Begin;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            from = platform::SeekFrom::Current;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            from = platform::SeekFrom::End;
            break;
        default:
            return -1;
    }
    if (offset > static_cast<ZPOS64_T>(INT64_MAX)) return -1;
    if (origin == ZLIB_FILEFUNC_SEEK_SET && self->firstSeekSet < 0)
        self->firstSeekSet = static_cast<int64_t>(offset);
    // Only minizip's own position moves: the reader reads the file between its calls.
    const int64_t delta = static_cast<int64_t>(offset);
    int64_t target = delta;
    if (from == platform::SeekFrom::Current) target = self->position + delta;
    if (from == platform::SeekFrom::End) {
        const int64_t size = self->file->size();
        if (size < 0) return -1;
        target = size + delta;
    }
    if (target < 0) return -1;
    self->position = target;
    return 0;
}

// The reader closes the file itself, after minizip has let go of it.
int ZCALLBACK closeFile(voidpf, voidpf) { return 0; }

int ZCALLBACK testError(voidpf, voidpf) { return 0; }

}  // namespace

int64_t ZipFileIo::read(void* out, size_t size) {
    auto* target = static_cast<unsigned char*>(out);
    size_t done = 0;
    // A damaged header can send minizip reading past the end many thousand times over.
    if (fileSize_ < 0) fileSize_ = file->size();
    if (fileSize_ >= 0 && position >= fileSize_) return 0;
    while (done < size) {
        const int64_t at = position;
        if (at >= bufferStart_ && at < bufferStart_ + int64_t(bufferLength_)) {
            const size_t offset = size_t(at - bufferStart_);
            const size_t n = std::min(size - done, bufferLength_ - offset);
            std::memcpy(target + done, buffer_.get() + offset, n);
            done += n;
            position += int64_t(n);
            continue;
        }
        if (file->seek(at, platform::SeekFrom::Begin) != at) return done > 0 ? int64_t(done) : -1;
        if (size - done >= kBufferSize) {
            // Large reads (item data) go straight to the caller.
            const int64_t n = file->read(target + done, size - done);
            if (n <= 0) return done > 0 ? int64_t(done) : n;
            done += size_t(n);
            position += n;
            continue;
        }
        if (!buffer_) buffer_.reset(new unsigned char[kBufferSize]);
        const int64_t n = file->read(buffer_.get(), kBufferSize);
        bufferStart_ = at;
        bufferLength_ = n > 0 ? size_t(n) : 0;
        if (n <= 0) return done > 0 ? int64_t(done) : n;
    }
    return int64_t(done);
}

zlib_filefunc64_def ZipFileIo::table() {
    zlib_filefunc64_def def{};
    def.zopen64_file = openFile;
    def.zread_file = readFile;
    def.zwrite_file = writeFile;
    def.ztell64_file = tellFile;
    def.zseek64_file = seekFile;
    def.zclose_file = closeFile;
    def.zerror_file = testError;
    def.opaque = this;
    return def;
}
