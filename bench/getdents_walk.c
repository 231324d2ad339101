/* The floor for a tree walk: reads every directory under the start
 * directory with openat and getdents64 and does nothing else, no matching,
 * no output per entry. It prints one line, the number of entries below the
 * start, so that a run can be checked against find's count.
 *
 *   getdents_walk [-s] [-j N] [DIR]
 *
 * With one thread (the default) it walks depth first, one directory at a
 * time. With -j N, N threads share one stack of directories still to be
 * read, under one mutex: a thread takes a directory, opens it relative to
 * its parent's descriptor, reads it to the end and pushes its
 * subdirectories, all at once. That is the floor for a walk that reads
 * ahead in parallel.
 *
 * With -s each entry's status is read as well, by the thread that lists its
 * directory, with fstatat relative to the directory's descriptor and
 * without following a symbolic link, as a walk that needs every entry's
 * size or time does; the status then also tells whether the entry is a
 * directory. That is the floor for a walk that reads every status.
 *
 * Symbolic links are not followed. Each directory stays open while its
 * subdirectories are walked (with -j N: until the last of them is opened),
 * so the depth is bounded by the descriptor limit (raised to the hard
 * limit), not by PATH_MAX. A directory that cannot be opened or read, or
 * (with -s) an entry whose status cannot be read, is counted as a failure;
 * the count goes to standard error and the exit code is 1. */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
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

enum { BUFFER_SIZE = 64 * 1024 };
static const int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/* The single-thread walk's buffer for every getdents64 call: a directory is
 * read to its end before any subdirectory is opened. */
static char buffer[BUFFER_SIZE];
static unsigned long long entries;
static int failures;
/* -s: every entry's status is read. */
static int read_statuses;

/* The subdirectory names of one directory, each ending in NUL. */
struct names {
  char* text;
  size_t used, size;
};

static void out_of_memory(void) {
  perror("getdents_walk");
  exit(2);
}

static void add_name(struct names* n, const char* name) {
  size_t length = strlen(name) + 1;
  if (n->used + length > n->size) {
    n->size = (n->used + length) * 2;
    n->text = realloc(n->text, n->size);
    if (!n->text) out_of_memory();
  }
  memcpy(n->text + n->used, name, length);
  n->used += length;
}

/* Whether the entry d of the open directory fd is a directory. With -s it
 * reads the entry's status, adding 1 to *failed when that fails; without,
 * only where the record does not give the type. */
static int is_directory(int fd, const struct linux_dirent64* d, int* failed) {
  struct stat st;
  if (read_statuses) {
    if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
      return S_ISDIR(st.st_mode);
    ++*failed;
    return 0;
  }
  if (d->d_type != DT_UNKNOWN) return d->d_type == DT_DIR;
  return fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(st.st_mode);
}

static int is_dot_or_dotdot(const char* name) {
  return name[0] == '.' &&
         (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

/* Reads the open directory fd to its end into `buf`, collecting its
 * subdirectories (with -s: reading each entry's status as it comes);
 * returns the number of entries and adds 1 to *failed per read that
 * fails. */
static unsigned long long list_directory(int fd, char* buf,
                                         struct names* subdirs, int* failed) {
  unsigned long long count = 0;
  for (;;) {
    long got = syscall(SYS_getdents64, fd, buf, (size_t)BUFFER_SIZE);
    if (got <= 0) {
      if (got < 0) ++*failed;
      return count;
    }
    for (long pos = 0; pos < got;) {
      struct linux_dirent64* d = (struct linux_dirent64*)(buf + pos);
      pos += d->d_reclen;
      if (is_dot_or_dotdot(d->d_name)) continue;
      count++;
      if (is_directory(fd, d, failed)) add_name(subdirs, d->d_name);
    }
  }
}

/* Counts the entries of the open directory fd and collects its
 * subdirectories. */
static void read_directory(int fd, struct names* subdirs) {
  entries += list_directory(fd, buffer, subdirs, &failures);
}

static void walk(int fd) {
  struct names subdirs = {0};
  read_directory(fd, &subdirs);
  for (size_t pos = 0; pos < subdirs.used;) {
    const char* name = subdirs.text + pos;
    pos += strlen(name) + 1;
    int below = openat(fd, name, DIR_FLAGS);
    if (below < 0) {
      failures++;
      continue;
    }
    walk(below);
    close(below);
  }
  free(subdirs.text);
}

/* The parallel walk. A directory that has been read and has
 * subdirectories: its descriptor stays open until the last of them is
 * opened, relative to it. */
struct opened {
  int fd;
  int refs; /* one per subdirectory not yet opened */
};

/* A directory on the stack: its parent and its name. */
struct pending {
  struct opened* parent;
  char name[];
};

static struct {
  pthread_mutex_t lock;
  pthread_cond_t work; /* the stack gained entries, or the walk is over */
  struct pending** items;
  size_t count, size;
  int busy; /* threads reading a directory they took */
} stack = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, NULL, 0, 0,
           0};

static void release(struct opened* dir) {
  if (__atomic_sub_fetch(&dir->refs, 1, __ATOMIC_ACQ_REL) == 0) {
    close(dir->fd);
    free(dir);
  }
}

static struct pending* new_pending(struct opened* parent, const char* name) {
  size_t length = strlen(name) + 1;
  struct pending* p = malloc(sizeof *p + length);
  if (!p) out_of_memory();
  p->parent = parent;
  memcpy(p->name, name, length);
  return p;
}

/* Under the lock: makes room for `more` items. */
static void reserve(size_t more) {
  if (stack.count + more <= stack.size) return;
  stack.size = (stack.count + more) * 2;
  stack.items = realloc(stack.items, stack.size * sizeof *stack.items);
  if (!stack.items) out_of_memory();
}

struct worker {
  pthread_t thread;
  unsigned long long entries;
  int failures;
};

static void* work(void* arg) {
  struct worker* self = arg;
  char* buf = malloc(BUFFER_SIZE);
  struct names subdirs = {0};
  if (!buf) out_of_memory();
  pthread_mutex_lock(&stack.lock);
  for (;;) {
    while (stack.count == 0 && stack.busy > 0)
      pthread_cond_wait(&stack.work, &stack.lock);
    if (stack.count == 0) break; /* nothing waits and nobody reads: done */
    struct pending* next = stack.items[--stack.count];
    stack.busy++;
    pthread_mutex_unlock(&stack.lock);

    int fd = openat(next->parent->fd, next->name, DIR_FLAGS);
    release(next->parent);
    free(next);
    size_t found = 0;
    struct opened* dir = NULL;
    if (fd < 0) {
      self->failures++;
    } else {
      subdirs.used = 0;
      self->entries += list_directory(fd, buf, &subdirs, &self->failures);
      for (size_t pos = 0; pos < subdirs.used; found++)
        pos += strlen(subdirs.text + pos) + 1;
      if (found == 0) {
        close(fd);
      } else {
        dir = malloc(sizeof *dir);
        if (!dir) out_of_memory();
        dir->fd = fd;
        dir->refs = (int)found; /* read to its end: only they need it */
      }
    }

    pthread_mutex_lock(&stack.lock);
    reserve(found);
    /* Pushed last to first, so that the first subdirectory comes off the
     * stack first, as in the depth-first walk. */
    const char* name = subdirs.text + subdirs.used;
    for (size_t i = 0; i < found; i++) {
      do name--; while (name > subdirs.text && name[-1] != 0);
      stack.items[stack.count++] = new_pending(dir, name);
    }
    stack.busy--;
    if (found > 1 || (stack.count == 0 && stack.busy == 0))
      pthread_cond_broadcast(&stack.work);
    else if (found == 1)
      pthread_cond_signal(&stack.work);
  }
  pthread_cond_broadcast(&stack.work);
  pthread_mutex_unlock(&stack.lock);
  free(subdirs.text);
  free(buf);
  return NULL;
}

/* Walks below the open directory fd with `threads` threads. */
static void walk_parallel(int fd, int threads) {
  struct names top = {0};
  read_directory(fd, &top);
  size_t found = 0;
  for (size_t pos = 0; pos < top.used; found++)
    pos += strlen(top.text + pos) + 1;
  struct opened* start = malloc(sizeof *start);
  if (!start) out_of_memory();
  start->fd = dup(fd);
  start->refs = (int)found;
  if (start->fd < 0) {
    perror("getdents_walk");
    exit(2);
  }
  reserve(found);
  const char* name = top.text + top.used;
  for (size_t i = 0; i < found; i++) {
    do name--; while (name > top.text && name[-1] != 0);
    stack.items[stack.count++] = new_pending(start, name);
  }
  if (found == 0) {
    close(start->fd);
    free(start);
  }
  free(top.text);

  struct worker* workers = calloc((size_t)threads, sizeof *workers);
  if (!workers) out_of_memory();
  for (int i = 0; i < threads; i++) {
    int error = pthread_create(&workers[i].thread, NULL, work, &workers[i]);
    if (error) {
      errno = error;
      perror("getdents_walk: pthread_create");
      exit(2);
    }
  }
  for (int i = 0; i < threads; i++) {
    pthread_join(workers[i].thread, NULL);
    entries += workers[i].entries;
    failures += workers[i].failures;
  }
  free(workers);
  free(stack.items);
}

static void usage(void) {
  fprintf(stderr, "usage: getdents_walk [-s] [-j THREADS] [DIR]\n");
  exit(2);
}

int main(int argc, char** argv) {
  int threads = 1;
  int option;
  while ((option = getopt(argc, argv, "+sj:")) != -1) {
    if (option == 's') {
      read_statuses = 1;
    } else if (option == 'j') {
      char* end;
      long value = strtol(optarg, &end, 10);
      if (*end || end == optarg || value < 1 || value > 1024) usage();
      threads = (int)value;
    } else {
      usage();
    }
  }
  int arg = optind;
  if (argc - arg > 1) usage();
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  int fd = open(arg < argc ? argv[arg] : ".",
                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    perror("getdents_walk");
    return 2;
  }
  if (threads == 1)
    walk(fd);
  else
    walk_parallel(fd, threads);
  close(fd);
  printf("%llu\n", entries);
  if (failures) fprintf(stderr, "getdents_walk: %d failures\n", failures);
  return failures ? 1 : 0;
}
