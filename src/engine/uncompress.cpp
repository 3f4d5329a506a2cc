// The exported UncompressBuffer: inflates zlib data in place.
#include "engine/script_loading.h"

#include <string.h>
#include <zlib.h>

// The buffer holds capacity + 1 bytes: the inflated data and a zero byte.
int UncompressBuffer(uint8_t* buffer, uint32_t compressed_length, uint32_t capacity) {
    if (!buffer || buffer[0] == 0 || compressed_length == 0 || capacity == 0) return -1;
    // zlib cannot inflate over its own input, hence the work block.
    HGLOBAL work = GlobalAlloc(GMEM_FIXED, capacity);
    if (!work) return -1;
    Bytef* inflated = static_cast<Bytef*>(static_cast<void*>(work));
    uLongf length = capacity;
    int status = uncompress(inflated, &length, buffer, compressed_length);
    if (status == Z_OK) {
        memcpy(buffer, inflated, length);
        buffer[length] = 0;
    }
    GlobalFree(work);
    return status == Z_OK ? static_cast<int>(length) : -1;
}
