// Preloaded into the real stampbak, it makes one call of one C library
// function fail, so that the tests see how the real platform code meets a
// failing system. It stays out of every other program (the shell, the
// stand-in archiver) and out of our own child before it starts the archiver.
//   STAMPBAK_FAULT=NAME:N:ERRNO  the Nth call of NAME fails with ERRNO (a
//                                number); NAME "new" throws std::bad_alloc
//   STAMPBAK_FAULT_COUNTS=FILE   at exit, "NAME COUNT" lines of the calls made
//   STAMPBAK_UNTYPED_LISTINGS=1  listings carry no entry types, as on some
//                                network and FUSE file systems
// Only writes to descriptors above 2 are counted: the report and warnings
// are allowed to be lost, the list file is not.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum Kind {
  kOpen,
  kOpenat,
  kFstatat,
  kFstat,
  kStat,
  kFdopendir,
  kReaddir,
  kClose,
  kMkdir,
  kUnlink,
  kWrite,
  kRead,
  kGetcwd,
  kFlock,
  kFork,
  kPipe2,
  kWaitpid,
  kNew,
  kKinds
};
constexpr const char* kNames[kKinds] = {
    "open",   "openat", "fstatat", "fstat",  "stat",  "fdopendir", "readdir", "close",   "mkdir",
    "unlink", "write",  "read",    "getcwd", "flock", "fork",      "pipe2",   "waitpid", "new"};

bool active = false;
bool untyped = false;
int faultKind = -1;
long faultCall = 0;
int faultErrno = 0;
long counts[kKinds];

__attribute__((constructor)) void Configure() {
  if (std::strcmp(program_invocation_short_name, "stampbak") != 0) return;
  active = true;
  untyped = std::getenv("STAMPBAK_UNTYPED_LISTINGS") != nullptr;
  const char* fault = std::getenv("STAMPBAK_FAULT");
  if (fault == nullptr) return;
  char name[32] = "";
  if (std::sscanf(fault, "%31[^:]:%ld:%d", name, &faultCall, &faultErrno) < 2) return;
  for (int kind = 0; kind < kKinds; ++kind) {
    if (std::strcmp(name, kNames[kind]) == 0) faultKind = kind;
  }
}

__attribute__((destructor)) void WriteCounts() {
  const char* path = std::getenv("STAMPBAK_FAULT_COUNTS");
  if (!active || path == nullptr) return;
  if (FILE* out = std::fopen(path, "w")) {
    for (int kind = 0; kind < kKinds; ++kind)
      std::fprintf(out, "%s %ld\n", kNames[kind], counts[kind]);
    std::fclose(out);
  }
}

// Counts the call; true when it is the one to fail, with errno set.
bool Fails(Kind kind) {
  if (!active) return false;
  if (++counts[kind] != faultCall || kind != faultKind) return false;
  errno = faultErrno;
  return true;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if (Fails(kOpen)) return -1;
  return Real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int openat(int dirFd, const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if (Fails(kOpenat)) return -1;
  return Real<int (*)(int, const char*, int, ...)>("openat")(dirFd, path, flags, mode);
}

int fstatat(int dirFd, const char* path, struct stat* st, int flags) noexcept {
  if (Fails(kFstatat)) return -1;
  return Real<int (*)(int, const char*, struct stat*, int)>("fstatat")(dirFd, path, st, flags);
}

int fstat(int fd, struct stat* st) noexcept {
  if (Fails(kFstat)) return -1;
  return Real<int (*)(int, struct stat*)>("fstat")(fd, st);
}

int stat(const char* path, struct stat* st) noexcept {
  if (Fails(kStat)) return -1;
  return Real<int (*)(const char*, struct stat*)>("stat")(path, st);
}

DIR* fdopendir(int fd) {
  if (Fails(kFdopendir)) return nullptr;
  return Real<DIR* (*)(int)>("fdopendir")(fd);
}

dirent* readdir(DIR* dir) {
  if (Fails(kReaddir)) return nullptr;
  dirent* entry = Real<dirent* (*)(DIR*)>("readdir")(dir);
  if (entry != nullptr && active && untyped) entry->d_type = DT_UNKNOWN;
  return entry;
}

// Linux frees the descriptor even when close fails.
int close(int fd) {
  const int closed = Real<int (*)(int)>("close")(fd);
  return Fails(kClose) ? -1 : closed;
}

int mkdir(const char* path, mode_t mode) noexcept {
  if (Fails(kMkdir)) return -1;
  return Real<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int unlink(const char* path) noexcept {
  if (Fails(kUnlink)) return -1;
  return Real<int (*)(const char*)>("unlink")(path);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (fd > 2 && Fails(kWrite)) return -1;
  return Real<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

ssize_t read(int fd, void* data, size_t size) {
  if (Fails(kRead)) return -1;
  return Real<ssize_t (*)(int, void*, size_t)>("read")(fd, data, size);
}

char* getcwd(char* buffer, size_t size) noexcept {
  if (Fails(kGetcwd)) return nullptr;
  return Real<char* (*)(char*, size_t)>("getcwd")(buffer, size);
}

int flock(int fd, int operation) noexcept {
  if (Fails(kFlock)) return -1;
  return Real<int (*)(int, int)>("flock")(fd, operation);
}

pid_t fork() noexcept {
  if (Fails(kFork)) return -1;
  const pid_t pid = Real<pid_t (*)()>("fork")();
  if (pid == 0) active = false;  // the child's own steps are not ours to count
  return pid;
}

int pipe2(int fds[2], int flags) noexcept {
  if (Fails(kPipe2)) return -1;
  return Real<int (*)(int*, int)>("pipe2")(fds, flags);
}

pid_t waitpid(pid_t pid, int* status, int options) {
  if (Fails(kWaitpid)) return -1;
  return Real<pid_t (*)(pid_t, int*, int)>("waitpid")(pid, status, options);
}

}  // extern "C"

void* operator new(std::size_t size) {
  if (Fails(kNew)) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
