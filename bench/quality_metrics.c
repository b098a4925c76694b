/* Luma PSNR and SSIM of a decoded picture against its reference, both binary PPM (P6) files
 * of the same size. Luma is the JPEG one (0.299 R + 0.587 G + 0.114 B); SSIM is the usual
 * one: an 11x11 Gaussian window of sigma 1.5, K1 = 0.01, K2 = 0.03, over the windows that lie
 * wholly inside the picture.
 *
 *   quality_metrics REFERENCE.ppm DECODED.ppm   ->   "PSNR SSIM" on one line
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

static double* readLuma(const char* path, int* w, int* h) {
    FILE* f = fopen(path, "rb");
    int maxval = 0;
    if (!f || fscanf(f, "P6 %d %d %d", w, h, &maxval) != 3 || maxval != 255 || *w <= 0 || *h <= 0 ||
        fgetc(f) == EOF) {
        fprintf(stderr, "quality_metrics: %s: not an 8-bit binary PPM\n", path);
        exit(2);
    }
    const size_t n = (size_t)*w * (size_t)*h;
    unsigned char* rgb = malloc(3 * n);
    double* y = malloc(n * sizeof *y);
    if (!rgb || !y || fread(rgb, 3, n, f) != n) {
        fprintf(stderr, "quality_metrics: %s: short file\n", path);
        exit(2);
    }
    for (size_t i = 0; i < n; ++i) {
        y[i] = 0.299 * rgb[3 * i] + 0.587 * rgb[3 * i + 1] + 0.114 * rgb[3 * i + 2];
    }
    free(rgb);
    fclose(f);
    return y;
}

static double psnr(const double* a, const double* b, size_t n) {
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        se += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return se == 0 ? INFINITY : 10 * log10(255.0 * 255.0 * (double)n / se);
}

static double ssim(const double* a, const double* b, int w, int h) {
    enum { R = 5 };
    double g[2 * R + 1], sum = 0;
    for (int i = -R; i <= R; ++i) {
        sum += g[i + R] = exp(-(i * i) / (2 * 1.5 * 1.5));
    }
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double total = 0;
    long count = 0;
    for (int y = R; y < h - R; ++y) {
        for (int x = R; x < w - R; ++x) {
            double ma = 0, mb = 0, aa = 0, bb = 0, ab = 0;
            for (int j = -R; j <= R; ++j) {
                for (int i = -R; i <= R; ++i) {
                    const double wt = g[i + R] * g[j + R] / (sum * sum);
                    const double va = a[(size_t)(y + j) * w + x + i];
                    const double vb = b[(size_t)(y + j) * w + x + i];
                    ma += wt * va;
                    mb += wt * vb;
                    aa += wt * va * va;
                    bb += wt * vb * vb;
                    ab += wt * va * vb;
                }
            }
            const double va = aa - ma * ma, vb = bb - mb * mb, cov = ab - ma * mb;
            total +=
                ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++count;
        }
    }
    return count ? total / (double)count : 1.0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: quality_metrics REFERENCE.ppm DECODED.ppm\n");
        return 2;
    }
    int w1, h1, w2, h2;
    double* a = readLuma(argv[1], &w1, &h1);
    double* b = readLuma(argv[2], &w2, &h2);
    if (w1 != w2 || h1 != h2) {
        fprintf(stderr, "quality_metrics: sizes differ: %dx%d and %dx%d\n", w1, h1, w2, h2);
        return 2;
    }
    printf("%.3f %.5f\n", psnr(a, b, (size_t)w1 * h1), ssim(a, b, w1, h1));
    free(a);
    free(b);
    return 0;
}
