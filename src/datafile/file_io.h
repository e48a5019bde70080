// 64-bit positioning on C streams, on every platform the library is built for.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quorix {

// Seeks with the given origin; returns 0 on success like fseek.
int file_seek(std::FILE* file, int64_t offset, int origin);
int64_t file_tell(std::FILE* file);
// Size of an open file in bytes, or -1. The stream position is left unchanged.
int64_t file_size(std::FILE* file);

}  // namespace quorix
