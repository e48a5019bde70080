#include "datafile/file_io.h"

namespace quorix {

int file_seek(std::FILE* file, int64_t offset, int origin) {
#if defined(_WIN32)
    return _fseeki64(file, offset, origin);
#else
    return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

int64_t file_tell(std::FILE* file) {
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

int64_t file_size(std::FILE* file) {
    int64_t here = file_tell(file);
    if (here < 0 || file_seek(file, 0, SEEK_END) != 0) return -1;
    int64_t size = file_tell(file);
    if (file_seek(file, here, SEEK_SET) != 0) return -1;
    return size;
}

}  // namespace quorix
