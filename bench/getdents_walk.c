/* The floor for a tree walk: reads every directory under the start
 * directory with openat and getdents64 and does nothing else, no matching,
 * no output per entry. It prints one line, the number of entries below the
 * start, so that a run can be checked against find's count.
 *
 *   getdents_walk [DIR]
 *
 * Symbolic links are not followed. Each directory stays open while its
 * subdirectories are walked, so the depth is bounded by the descriptor limit
 * (raised to the hard limit), not by PATH_MAX. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

struct linux_dirent64 {
  uint64_t d_ino;
  int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

/* One buffer for every getdents64 call: a directory is read to its end
 * before any subdirectory is opened. */
static char buffer[64 * 1024];
static unsigned long long entries;
static int failures;

/* The subdirectory names of one directory, each ending in NUL. */
struct names {
  char* text;
  size_t used, size;
};

static void add_name(struct names* n, const char* name) {
  size_t length = strlen(name) + 1;
  if (n->used + length > n->size) {
    n->size = (n->used + length) * 2;
    n->text = realloc(n->text, n->size);
    if (!n->text) {
      perror("getdents_walk");
      exit(2);
    }
  }
  memcpy(n->text + n->used, name, length);
  n->used += length;
}

static int is_directory(int fd, const struct linux_dirent64* d) {
  if (d->d_type != DT_UNKNOWN) return d->d_type == DT_DIR;
  struct stat st;
  return fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(st.st_mode);
}

static int is_dot_or_dotdot(const char* name) {
  return name[0] == '.' &&
         (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

/* Counts the entries of the open directory fd and collects its
 * subdirectories. */
static void read_directory(int fd, struct names* subdirs) {
  for (;;) {
    long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (got <= 0) {
      if (got < 0) failures++;
      return;
    }
    for (long pos = 0; pos < got;) {
      struct linux_dirent64* d = (struct linux_dirent64*)(buffer + pos);
      pos += d->d_reclen;
      if (is_dot_or_dotdot(d->d_name)) continue;
      entries++;
      if (is_directory(fd, d)) add_name(subdirs, d->d_name);
    }
  }
}

static void walk(int fd) {
  struct names subdirs = {0};
  read_directory(fd, &subdirs);
  for (size_t pos = 0; pos < subdirs.used;) {
    const char* name = subdirs.text + pos;
    pos += strlen(name) + 1;
    int below = openat(fd, name,
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (below < 0) {
      failures++;
      continue;
    }
    walk(below);
    close(below);
  }
  free(subdirs.text);
}

int main(int argc, char** argv) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  int fd = open(argc > 1 ? argv[1] : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    perror("getdents_walk");
    return 2;
  }
  walk(fd);
  close(fd);
  printf("%llu\n", entries);
  if (failures) fprintf(stderr, "getdents_walk: %d failures\n", failures);
  return failures ? 1 : 0;
}
