/* The floors for extraction speed, zlib's raw inflate plus CRC-32 over every entry of an
 * archive and nothing else:
 *   zlib-floor ARCHIVE              one core, output discarded, nothing written to disk
 *   zlib-floor --write OUT ARCHIVE  two threads, two entries at a time (each takes the next
 *                                   one not yet taken), every entry written to OUT/NAME
 *                                   with its folders; no staging, no checks of names
 * Reads the central directory (no ZIP64: the benchmark archives stay below 4 GB and
 * 65535 entries) and prints the uncompressed byte count. */
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#define THREADS 2
#define PIECE (256 * 1024)

static uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
static uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

static void fail(const char* what) {
  fprintf(stderr, "zlib-floor: %s\n", what);
  exit(1);
}

static const unsigned char* zip;
static const unsigned char** records; /* each entry's central directory record */
static uint32_t count;
static const char* out_dir;
static atomic_uint next_entry;
static atomic_ullong total;

/* OUT/NAME, its folders made; -1 for a folder entry. */
static int create_output(const unsigned char* c) {
  char path[4096];
  const size_t base = strlen(out_dir), name = le16(c + 28);
  if (base + 1 + name >= sizeof path) fail("name too long");
  memcpy(path, out_dir, base);
  path[base] = '/';
  memcpy(path + base + 1, c + 46, name);
  path[base + 1 + name] = '\0';
  for (char* slash = strchr(path + base + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
    *slash = '\0';
    if (mkdir(path, 0755) != 0 && errno != EEXIST) fail("cannot make a folder");
    *slash = '/';
  }
  if (name > 0 && path[base + name] == '/') return -1;
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) fail("cannot create a file");
  return fd;
}

static void put(int fd, const unsigned char* data, size_t size) {
  while (fd >= 0 && size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) fail("cannot write");
    data += n;
    size -= (size_t)n;
  }
}

static void entry(const unsigned char* c, unsigned char* out) {
  const uint32_t method = le16(c + 10), crc = le32(c + 16), csize = le32(c + 20), usize = le32(c + 24);
  const unsigned char* local = zip + le32(c + 42);
  const unsigned char* data = local + 30 + le16(local + 26) + le16(local + 28);
  const int fd = out_dir ? create_output(c) : -1;
  uLong sum = crc32(0, NULL, 0);
  if (method == 0) {
    sum = crc32(sum, data, csize);
    put(fd, data, csize);
  } else {
    z_stream s;
    memset(&s, 0, sizeof s);
    if (inflateInit2(&s, -MAX_WBITS) != Z_OK) fail("inflate cannot start");
    s.next_in = (Bytef*)data;
    s.avail_in = csize;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
      s.next_out = out;
      s.avail_out = PIECE;
      status = inflate(&s, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) fail("corrupt data");
      sum = crc32(sum, out, (uInt)(PIECE - s.avail_out));
      put(fd, out, PIECE - s.avail_out);
    }
    inflateEnd(&s);
  }
  if (sum != crc) fail("CRC mismatch");
  if (fd >= 0 && close(fd) != 0) fail("cannot close a file");
  total += usize;
}

static void* worker(void* unused) {
  (void)unused;
  unsigned char* out = malloc(PIECE);
  if (!out) fail("out of memory");
  for (uint32_t i; (i = atomic_fetch_add(&next_entry, 1)) < count;) entry(records[i], out);
  free(out);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--write") == 0) out_dir = argv[2];
  else if (argc != 2) fail("usage: zlib-floor [--write OUT] ARCHIVE");
  int fd = open(argv[argc - 1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 22) fail("cannot open the archive");
  zip = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (zip == MAP_FAILED) fail("cannot map the archive");
  size_t end = (size_t)st.st_size - 22;
  while (end > 0 && le32(zip + end) != 0x06054b50) --end;
  if (le32(zip + end) != 0x06054b50) fail("no end of central directory");
  count = le16(zip + end + 10);
  records = malloc(sizeof *records * (count ? count : 1));
  if (!records) fail("out of memory");
  size_t at = le32(zip + end + 16);
  for (uint32_t i = 0; i < count; ++i) {
    records[i] = zip + at;
    if (le32(records[i]) != 0x02014b50) fail("damaged central directory");
    at += 46 + le16(records[i] + 28) + le16(records[i] + 30) + le16(records[i] + 32);
  }
  if (!out_dir) {
    worker(NULL);
  } else {
    pthread_t threads[THREADS];
    for (int t = 0; t < THREADS; ++t) {
      if (pthread_create(&threads[t], NULL, worker, NULL) != 0) fail("cannot start a thread");
    }
    for (int t = 0; t < THREADS; ++t) pthread_join(threads[t], NULL);
  }
  printf("%llu\n", (unsigned long long)total);
  return 0;
}
