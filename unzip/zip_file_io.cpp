#include "unzip/zip_file_io.h"

namespace {

ZipFileIo* io(voidpf opaque) { return static_cast<ZipFileIo*>(opaque); }

voidpf ZCALLBACK openFile(voidpf opaque, const void*, int mode) {
    // Reading only; the file was opened by the reader before minizip saw it.
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return io(opaque)->file;
}

uLong ZCALLBACK readFile(voidpf opaque, voidpf, void* buffer, uLong size) {
    const int64_t n = io(opaque)->file->read(buffer, size);
    return n < 0 ? 0 : static_cast<uLong>(n);
}

uLong ZCALLBACK writeFile(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellFile(voidpf opaque, voidpf) {
    const int64_t pos = io(opaque)->file->tell();
    return pos < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(pos);
}

long ZCALLBACK seekFile(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
    ZipFileIo* self = io(opaque);
    platform::SeekFrom from = platform::SeekFrom::Begin;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: from = platform::SeekFrom::Begin; break;
    case ZLIB_FILEFUNC_SEEK_CUR: from = platform::SeekFrom::Current; break;
    case ZLIB_FILEFUNC_SEEK_END: from = platform::SeekFrom::End; break;
    default: return -1;
    }
    if (offset > static_cast<ZPOS64_T>(INT64_MAX)) return -1;
    if (origin == ZLIB_FILEFUNC_SEEK_SET && self->firstSeekSet < 0)
        self->firstSeekSet = static_cast<int64_t>(offset);
    return self->file->seek(static_cast<int64_t>(offset), from) < 0 ? -1 : 0;
}

// The reader closes the file itself, after minizip has let go of it.
int ZCALLBACK closeFile(voidpf, voidpf) { return 0; }

int ZCALLBACK testError(voidpf, voidpf) { return 0; }

}  // namespace

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
