// Little-endian encoding of the fixed-width fields of data files, independent of
// the host's byte order and alignment.
#pragma once

#include <cstdint>
#include <cstring>

namespace quorix {

inline uint16_t load_u16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t load_u32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t load_i32(const unsigned char* p) { return static_cast<int32_t>(load_u32(p)); }

inline uint64_t load_u64(const unsigned char* p) {
    return static_cast<uint64_t>(load_u32(p)) | (static_cast<uint64_t>(load_u32(p + 4)) << 32);
}

inline double load_f64(const unsigned char* p) {
    uint64_t bits = load_u64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void store_u16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void store_u32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void store_i32(unsigned char* p, int32_t v) { store_u32(p, static_cast<uint32_t>(v)); }

inline void store_f64(unsigned char* p, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    store_u32(p, static_cast<uint32_t>(bits));
    store_u32(p + 4, static_cast<uint32_t>(bits >> 32));
}

}  // namespace quorix
