/* The floor for reading a PNG: its IDAT chunks gathered and inflated with zlib, nothing more (no
 * unfiltering, no CRC, no pixels). The output goes into one reused 256 KiB buffer, as a streaming
 * decoder would use it. Prints nothing; exits 1 when the file is no PNG or its data will not
 * inflate.
 *
 *   png_inflate_floor FILE.png
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

static unsigned long be32(const unsigned char* p) {
    return ((unsigned long)p[0] << 24) | ((unsigned long)p[1] << 16) | ((unsigned long)p[2] << 8) |
           p[3];
}

/* The concatenated IDAT data of the file, or NULL. */
static unsigned char* readIdat(FILE* f, size_t* size) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char head[8];
    unsigned char* data = NULL;
    size_t used = 0, capacity = 0;
    if (fread(head, 1, 8, f) != 8 || memcmp(head, signature, 8) != 0)
        return NULL;
    while (fread(head, 1, 8, f) == 8) {
        const unsigned long length = be32(head);
        if (memcmp(head + 4, "IDAT", 4) != 0) {
            if (memcmp(head + 4, "IEND", 4) == 0 || fseek(f, (long)length + 4, SEEK_CUR) != 0)
                break;
            continue;
        }
        if (used + length > capacity) {
            capacity = (used + length) * 2;
            unsigned char* grown = realloc(data, capacity);
            if (grown == NULL)
                break;
            data = grown;
        }
        if (fread(data + used, 1, length, f) != length || fseek(f, 4, SEEK_CUR) != 0)
            break;
        used += length;
    }
    *size = used;
    return data;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: png_inflate_floor FILE.png\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (f == NULL)
        return 1;
    size_t size = 0;
    unsigned char* idat = readIdat(f, &size);
    fclose(f);
    if (idat == NULL)
        return 1;
    static unsigned char out[256 * 1024];
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK)
        return 1;
    z.next_in = idat;
    z.avail_in = (uInt)size;
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = out;
        z.avail_out = sizeof out;
        status = inflate(&z, Z_NO_FLUSH);
    }
    inflateEnd(&z);
    free(idat);
    return status == Z_STREAM_END ? 0 : 1;
}
