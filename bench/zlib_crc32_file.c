/* The reference that `scripts/info_vs_zlib` times `tarvex-cli info` against: a whole process
 * that streams zlib's crc32 over a file from byte 32 (an image's payload) to its end, 1 MiB per
 * read, and prints the result. */
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

int main(int argc, char** argv) {
  static unsigned char buffer[1 << 20];
  FILE* file = argc == 2 ? fopen(argv[1], "rb") : NULL;
  if (file == NULL || fseek(file, 32, SEEK_SET) != 0) {
    fprintf(stderr, "usage: zlib_crc32_file FILE\n");
    return 1;
  }
  uLong crc = crc32(0, Z_NULL, 0);
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
    crc = crc32(crc, buffer, (uInt)got);
  }
  printf("0x%08lX\n", crc);
  fclose(file);
  return 0;
}
