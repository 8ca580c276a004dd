/* The floor for extraction speed: zlib's raw inflate plus CRC-32 over every entry of an
 * archive, output discarded, nothing written to disk. zlib-floor ARCHIVE
 * Reads the central directory (no ZIP64: the benchmark archives stay below 4 GB and
 * 65535 entries) and prints the uncompressed byte count. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

static uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
static uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

static void fail(const char* what) {
  fprintf(stderr, "zlib-floor: %s\n", what);
  exit(1);
}

int main(int argc, char** argv) {
  if (argc != 2) fail("usage: zlib-floor ARCHIVE");
  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 22) fail("cannot open the archive");
  const unsigned char* zip = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (zip == MAP_FAILED) fail("cannot map the archive");
  size_t end = (size_t)st.st_size - 22;
  while (end > 0 && le32(zip + end) != 0x06054b50) --end;
  if (le32(zip + end) != 0x06054b50) fail("no end of central directory");
  uint32_t count = le16(zip + end + 10);
  size_t at = le32(zip + end + 16);
  static unsigned char out[256 * 1024];
  unsigned long long total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* c = zip + at;
    if (le32(c) != 0x02014b50) fail("damaged central directory");
    uint32_t method = le16(c + 10), crc = le32(c + 16), csize = le32(c + 20), usize = le32(c + 24);
    const unsigned char* local = zip + le32(c + 42);
    const unsigned char* data = local + 30 + le16(local + 26) + le16(local + 28);
    uLong sum = crc32(0, NULL, 0);
    if (method == 0) {
      sum = crc32(sum, data, csize);
    } else {
      z_stream s;
      memset(&s, 0, sizeof s);
      if (inflateInit2(&s, -MAX_WBITS) != Z_OK) fail("inflate cannot start");
      s.next_in = (Bytef*)data;
      s.avail_in = csize;
      int status = Z_OK;
      while (status != Z_STREAM_END) {
        s.next_out = out;
        s.avail_out = sizeof out;
        status = inflate(&s, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) fail("corrupt data");
        sum = crc32(sum, out, (uInt)(sizeof out - s.avail_out));
      }
      inflateEnd(&s);
    }
    if (sum != crc) fail("CRC mismatch");
    total += usize;
    at += 46 + le16(c + 28) + le16(c + 30) + le16(c + 32);
  }
  printf("%llu\n", total);
  return 0;
}
