// Preloaded into the real stampbak, it makes one call of one C library
// function fail, so that the tests see how the real platform code meets a
// failing system. It stays out of every other program (the shell, the
// stand-in archiver) and out of our own child before it starts the archiver.
//   STAMPBAK_FAULT=NAME:N:ERRNO  the Nth call of NAME fails with ERRNO (a
//                                number), every call when N is 0; NAME
//                                "new" throws std::bad_alloc. A negative
//                                ERRNO raises that signal before the call
//                                instead, which then goes ahead
//   STAMPBAK_FAULT_COUNTS=FILE   at exit, "NAME COUNT" lines of the calls made,
//                                and "sequence N", a number for their order
//   STAMPBAK_UNTYPED_LISTINGS=1  listings carry no entry types, as on some
//                                network and FUSE file systems
//   STAMPBAK_PLANT_LINK=TARGET   a file created new finds a link to TARGET
//                                planted at its name just before: a hard
//                                one, or with "soft:" before TARGET a
//                                symbolic one; with "once:", only the first
//   STAMPBAK_PLANT_UNDER=PREFIX  only where its path begins with PREFIX
// File systems and clocks as they differ, in what the look-ups return:
//   STAMPBAK_STAMPS=RESOLUTION:BASE  time stamps and the clock in steps of
//                                RESOLUTION seconds counted from BASE
//                                (seconds since 1970), rounded down
//   STAMPBAK_STAMP_SHIFT=SECONDS every time stamp that much later, as when
//                                files changed while the clock ran ahead
//   STAMPBAK_NO_CHANGE_TIMES=1   the change time is the last-write time,
//                                as some FUSE drivers give it
//   STAMPBAK_PERMISSIONLESS=1    every file mode 0777, as on mounts that
//                                keep no modes
//   STAMPBAK_STDOUT_WRITES=FILE  at exit, the size of each write to standard
//                                output, one a line
// Workers reading ahead call from threads of their own:
//   STAMPBAK_FAULT_OFF_MAIN=1    STAMPBAK_FAULT fails only their calls
//   STAMPBAK_HOLD=NAME           their look-up of a file named NAME never
//                                returns, as on a dead share
//   STAMPBAK_SWAP_AT_OPEN=NAME:OTHER  their first open of a directory named
//                                NAME meets the directory OTHER (an absolute
//                                path) swapped in its place, and put back
//                                right after
// Only writes to descriptors above 2 count: the report and warnings may be
// lost, the list file may not.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace {

constexpr const char* kNames[] = {"open",      "openat",  "fstatat",        "fstat",     "stat",
                                  "fdopendir", "readdir", "close",          "mkdir",     "unlink",
                                  "write",     "read",    "getcwd",         "flock",     "fork",
                                  "pipe2",     "waitpid", "rename",         "renameat2", "fsync",
                                  "getrandom", "new",     "pthread_create", "getdents64"};
constexpr int kKinds = sizeof kNames / sizeof kNames[0];
// Workers that read ahead call from their own threads.
std::atomic<long> counts[kKinds];
// The order of the calls of every kind, as a number: the same on every
// run only where the threads take their turns in a fixed order.
std::atomic<long> sequence{0};
bool active = false;
const char* plantLink = nullptr;
const char* plantUnder = "";
long stampResolution = 0;
long stampBase = 0;
long stampShift = 0;
bool noChangeTimes = false;
bool permissionless = false;
char faultName[32] = "";
long faultCall = 0;
int faultErrno = 0;
bool offMainOnly = false;
const char* hold = nullptr;
std::atomic<const char*> swapAtOpen{nullptr};
char swapName[256] = "";
std::size_t stdoutWrites[4096];
int stdoutWriteCount = 0;

__attribute__((constructor)) void Configure() {
  if (std::strcmp(program_invocation_short_name, "stampbak") != 0) return;
  active = true;
  plantLink = std::getenv("STAMPBAK_PLANT_LINK");
  if (const char* under = std::getenv("STAMPBAK_PLANT_UNDER")) plantUnder = under;
  if (const char* stamps = std::getenv("STAMPBAK_STAMPS")) {
    std::sscanf(stamps, "%ld:%ld", &stampResolution, &stampBase);
  }
  if (const char* shift = std::getenv("STAMPBAK_STAMP_SHIFT")) stampShift = std::atol(shift);
  noChangeTimes = std::getenv("STAMPBAK_NO_CHANGE_TIMES") != nullptr;
  permissionless = std::getenv("STAMPBAK_PERMISSIONLESS") != nullptr;
  offMainOnly = std::getenv("STAMPBAK_FAULT_OFF_MAIN") != nullptr;
  hold = std::getenv("STAMPBAK_HOLD");
  if (const char* swap = std::getenv("STAMPBAK_SWAP_AT_OPEN")) {
    std::sscanf(swap, "%255[^:]", swapName);
    if (const char* other = std::strchr(swap, ':')) swapAtOpen = other + 1;
  }
  if (const char* fault = std::getenv("STAMPBAK_FAULT")) {
    std::sscanf(fault, "%31[^:]:%ld:%d", faultName, &faultCall, &faultErrno);
  }
}

__attribute__((destructor)) void WriteCounts() {
  const char* path = std::getenv("STAMPBAK_FAULT_COUNTS");
  FILE* out = active && path != nullptr ? std::fopen(path, "w") : nullptr;
  if (out == nullptr) return;
  for (int kind = 0; kind < kKinds; ++kind)
    std::fprintf(out, "%s %ld\n", kNames[kind], counts[kind].load());
  std::fprintf(out, "sequence %ld\n", sequence.load());
  std::fclose(out);
}

__attribute__((destructor)) void WriteStdoutWrites() {
  const char* path = std::getenv("STAMPBAK_STDOUT_WRITES");
  FILE* out = active && path != nullptr ? std::fopen(path, "w") : nullptr;
  if (out == nullptr) return;
  for (int i = 0; i < stdoutWriteCount; ++i) std::fprintf(out, "%zu\n", stdoutWrites[i]);
  std::fclose(out);
}

bool OnMainThread() { return syscall(SYS_gettid) == getpid(); }

// Counts the call; true when it is the one to fail, with errno set.
bool Fails(const char* name) {
  if (!active) return false;
  int kind = 0;
  while (std::strcmp(kNames[kind], name) != 0) ++kind;
  const long count = ++counts[kind];
  for (long was = sequence.load();
       !sequence.compare_exchange_weak(was, (was * 31 + kind) % 1000000007);) {
  }
  if ((faultCall != 0 && count != faultCall) || std::strcmp(name, faultName) != 0 ||
      (offMainOnly && OnMainThread())) {
    return false;
  }
  if (faultErrno < 0) {
    // To the process, as others send it: whichever thread takes it.
    kill(getpid(), -faultErrno);
    return false;
  }
  errno = faultErrno;
  return true;
}

void Plant(const char* path) {
  const bool once = std::strncmp(plantLink, "once:", 5) == 0;
  const bool soft = std::strncmp(plantLink, "soft:", 5) == 0;
  soft ? symlink(plantLink + 5, path) : link(plantLink + (once ? 5 : 0), path);
  if (once) plantLink = nullptr;
}

void Round(timespec& time) {
  if (stampResolution <= 0 || time.tv_sec < stampBase) return;
  time.tv_sec -= (time.tv_sec - stampBase) % stampResolution;
  time.tv_nsec = 0;
}

// What the simulated file system shows of a file it looked up.
void Adjust(struct stat* st) {
  if (!active) return;
  st->st_mtim.tv_sec += stampShift;
  st->st_ctim.tv_sec += stampShift;
  Round(st->st_mtim);
  Round(st->st_ctim);
  if (noChangeTimes) st->st_ctim = st->st_mtim;
  if (permissionless && S_ISREG(st->st_mode)) st->st_mode |= 0777;
}

// A worker's look-up of the held name waits for ever.
void HoldIfAsked(const char* path) {
  if (hold == nullptr || !active || std::strcmp(path, hold) != 0 || OnMainThread()) return;
  for (;;) pause();
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// A wrapper that fails when its turn comes and otherwise calls the real one.
#define WRAP(type, name, params, args, failed, ...) \
  extern "C" type name params __VA_ARGS__ {         \
    if (Fails(#name)) return failed;                \
    return Real<type(*) params>(#name) args;        \
  }

// A look-up that fails when its turn comes, and otherwise shows what the
// simulated file system would.
#define WRAP_STAT(name, params, args, before)          \
  extern "C" int name params noexcept {                \
    before;                                            \
    if (Fails(#name)) return -1;                       \
    const int found = Real<int(*) params>(#name) args; \
    if (found == 0) Adjust(s);                         \
    return found;                                      \
  }

WRAP_STAT(fstatat, (int d, const char* p, struct stat* s, int f), (d, p, s, f), HoldIfAsked(p))
WRAP_STAT(fstat, (int fd, struct stat* s), (fd, s), (void)0)
WRAP_STAT(stat, (const char* p, struct stat* s), (p, s), (void)0)
WRAP(DIR*, fdopendir, (int fd), (fd), nullptr)
WRAP(int, mkdir, (const char* p, mode_t m), (p, m), -1, noexcept)
WRAP(int, unlink, (const char* p), (p), -1, noexcept)
WRAP(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n), -1)
WRAP(char*, getcwd, (char* b, size_t n), (b, n), nullptr, noexcept)
WRAP(int, flock, (int fd, int op), (fd, op), -1, noexcept)
WRAP(int, pipe2, (int* fds, int f), (fds, f), -1, noexcept)
WRAP(pid_t, waitpid, (pid_t p, int* s, int o), (p, s, o), -1)
WRAP(int, rename, (const char* from, const char* to), (from, to), -1, noexcept)
WRAP(int, renameat2, (int fd, const char* f, int td, const char* t, unsigned fl),
     (fd, f, td, t, fl), -1, noexcept)
WRAP(int, fsync, (int fd), (fd), -1)
WRAP(ssize_t, getrandom, (void* b, size_t n, unsigned f), (b, n, f), -1)

extern "C" {

// A thread that cannot be made says so by its result, not by errno.
int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) {
  if (Fails("pthread_create")) return errno;
  return Real<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
      "pthread_create")(thread, attributes, start, argument);
}

// The directory opened is another than the one at that name before and
// after: as if it were swapped in between the listing and the open.
static int OpenSwapped(int dirFd, const char* path, int flags, const char* other) {
  char away[300];
  std::snprintf(away, sizeof away, "%s.away", path);
  renameat(dirFd, path, dirFd, away);
  renameat(AT_FDCWD, other, dirFd, path);
  const int fd = Real<int (*)(int, const char*, int, ...)>("openat")(dirFd, path, flags, 0);
  renameat(dirFd, path, AT_FDCWD, other);
  renameat(dirFd, away, dirFd, path);
  return fd;
}

// Both opens go to the real openat; "open" is counted as itself.
static int OpenCounted(const char* kind, int dirFd, const char* path, int flags, va_list rest) {
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
  if (Fails(kind)) return -1;
  if (active && (flags & O_DIRECTORY) != 0 && std::strcmp(path, swapName) == 0 && !OnMainThread()) {
    if (const char* other = swapAtOpen.exchange(nullptr)) {
      return OpenSwapped(dirFd, path, flags, other);
    }
  }
  if (plantLink != nullptr && active && (flags & O_CREAT) != 0 &&
      std::strncmp(path, plantUnder, std::strlen(plantUnder)) == 0) {
    Plant(path);
  }
  return Real<int (*)(int, const char*, int, ...)>("openat")(dirFd, path, flags, mode);
}

int openat(int dirFd, const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = OpenCounted("openat", dirFd, path, flags, rest);
  va_end(rest);
  return fd;
}

int open(const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = OpenCounted("open", AT_FDCWD, path, flags, rest);
  va_end(rest);
  return fd;
}

dirent* readdir(DIR* dir) {
  if (Fails("readdir")) return nullptr;
  dirent* entry = Real<dirent* (*)(DIR*)>("readdir")(dir);
  if (entry != nullptr && active && std::getenv("STAMPBAK_UNTYPED_LISTINGS") != nullptr) {
    entry->d_type = DT_UNKNOWN;
  }
  return entry;
}

// The listing the read-ahead's workers read straight from the kernel.
ssize_t getdents64(int fd, void* buffer, size_t size) {
  if (Fails("getdents64")) return -1;
  const ssize_t got = Real<ssize_t (*)(int, void*, size_t)>("getdents64")(fd, buffer, size);
  if (got > 0 && active && std::getenv("STAMPBAK_UNTYPED_LISTINGS") != nullptr) {
    for (ssize_t at = 0; at < got;) {
      auto* entry = reinterpret_cast<dirent64*>(static_cast<char*>(buffer) + at);
      entry->d_type = DT_UNKNOWN;
      at += entry->d_reclen;
    }
  }
  return got;
}

// Linux frees the descriptor even when close fails.
int close(int fd) {
  const int closed = Real<int (*)(int)>("close")(fd);
  return Fails("close") ? -1 : closed;
}

ssize_t write(int fd, const void* data, size_t size) {
  if (fd > 2 && Fails("write")) return -1;
  if (fd == 1 && active && stdoutWriteCount < 4096) stdoutWrites[stdoutWriteCount++] = size;
  return Real<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

pid_t fork() noexcept {
  if (Fails("fork")) return -1;
  const pid_t pid = Real<pid_t (*)()>("fork")();
  if (pid == 0) active = false;  // the child's own steps are not ours to count
  return pid;
}

// The clock the run reads, in the simulated file system's steps.
int clock_gettime(clockid_t clock, timespec* now) noexcept {
  const int got = Real<int (*)(clockid_t, timespec*)>("clock_gettime")(clock, now);
  if (got == 0 && active && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    Round(*now);
  }
  return got;
}

}  // extern "C"

void* operator new(std::size_t size) {
  if (Fails("new")) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
