#pragma once
// zlib streams of the PNG codec, set up with the program's own allocation callbacks.
// Private to the png_*.cpp files.

#include <zlib.h>

#include <cstdlib>

namespace png_zlib {

inline voidpf Allocate(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}
inline void Free(voidpf, voidpf address) {
    std::free(address);
}

class Inflater {
public:
    Inflater() {
        z.zalloc = Allocate;
        z.zfree = Free;
        z.opaque = nullptr;
        result = inflateInit_(&z, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    }
    ~Inflater() {
        if (result == Z_OK) inflateEnd(&z);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream z{};
    int result = Z_OK; // of inflateInit_
};

class Deflater {
public:
    explicit Deflater(int level) {
        z.zalloc = Allocate;
        z.zfree = Free;
        z.opaque = nullptr;
        result = deflateInit_(&z, level, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    }
    ~Deflater() {
        if (result == Z_OK) deflateEnd(&z);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream z{};
    int result = Z_OK;
};

} // namespace png_zlib
