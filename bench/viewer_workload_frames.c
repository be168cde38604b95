/* Writes the test pictures of the viewer workload: COUNT different baseline JPEGs, 1280x720
 * (about 190 KB) unless told otherwise (a gradient, a moving bar and fine texture, so that
 * they compress like a camera picture rather than a flat test card). The tests draw the same
 * pixels (tests/support/CameraPicture.h).
 *
 *   viewer_workload_frames OUTDIR COUNT [WIDTH HEIGHT]
 */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

enum { kMaxWidth = 8192, kQuality = 85 };
static int gWidth = 1280, gHeight = 720;

static unsigned Noise(unsigned* state) {
    *state = *state * 1103515245u + 12345u;
    return (*state >> 16) & 0x7fff;
}

static int WriteFrame(const char* path, int frame) {
    FILE* f = fopen(path, "wb");
    if (!f)
        return -1;
    struct jpeg_compress_struct c;
    struct jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = gWidth;
    c.image_height = gHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    static unsigned char row[kMaxWidth * 3];
    unsigned state = 7u + (unsigned)frame * 7919u;
    const int bar = (frame * 97) % gWidth;
    for (int y = 0; y < gHeight; ++y) {
        for (int x = 0; x < gWidth; ++x) {
            const int n = (int)(Noise(&state) % 22) - 11;
            const int sx = x * 1280 / gWidth, sy = y * 720 / gHeight;
            int r = 40 + sy / 4 + n, g = 80 + sx / 8 + n, b = 150 + (sx + sy) / 20 + n;
            if (x >= bar && x < bar + 120 * gWidth / 1280 && y > 300 * gHeight / 720 &&
                y < 520 * gHeight / 720) {
                r = 230 + n / 2;
                g = 160 + n / 2;
                b = 30;
            }
            row[x * 3] = (unsigned char)(r < 0 ? 0 : r > 255 ? 255 : r);
            row[x * 3 + 1] = (unsigned char)(g < 0 ? 0 : g > 255 ? 255 : g);
            row[x * 3 + 2] = (unsigned char)(b < 0 ? 0 : b > 255 ? 255 : b);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return fclose(f);
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        fprintf(stderr, "usage: %s OUTDIR COUNT [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    if (argc == 5) {
        gWidth = atoi(argv[3]);
        gHeight = atoi(argv[4]);
        if (gWidth < 16 || gWidth > kMaxWidth || gHeight < 16 || gHeight > kMaxWidth) {
            fprintf(stderr, "size out of range\n");
            return 2;
        }
    }
    const int count = atoi(argv[2]);
    char path[4096];
    for (int i = 0; i < count; ++i) {
        snprintf(path, sizeof path, "%s/frame%02d.jpg", argv[1], i);
        if (WriteFrame(path, i) != 0) {
            perror(path);
            return 1;
        }
    }
    return 0;
}
