/* Writes the test pictures of the viewer workload: COUNT different 1280x720 baseline JPEGs
 * of about 190 KB (a gradient, a moving bar and fine texture, so that they compress like
 * a camera picture rather than a flat test card).
 *
 *   viewer_workload_frames OUTDIR COUNT
 */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

enum { kWidth = 1280, kHeight = 720, kQuality = 85 };

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
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    static unsigned char row[kWidth * 3];
    unsigned state = 7u + (unsigned)frame * 7919u;
    const int bar = (frame * 97) % kWidth;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int n = (int)(Noise(&state) % 22) - 11;
            int r = 40 + y / 4 + n, g = 80 + x / 8 + n, b = 150 + (x + y) / 20 + n;
            if (x >= bar && x < bar + 120 && y > 300 && y < 520) {
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
    if (argc != 3) {
        fprintf(stderr, "usage: %s OUTDIR COUNT\n", argv[0]);
        return 2;
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
