// See DescriptorTableLock.h for why these functions stand in front of
// umockdev's.
#include "DescriptorTableLock.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
// Declared by the C library's headers only when it checks calls at compile
// time; the library exports them either way, and umockdev wraps them.
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
}

namespace {

// Recursive: umockdev's functions may reach one another through the same
// names, and then back here.
pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_once_t g_forkHandler = PTHREAD_ONCE_INIT;

// A child forked while another thread held the lock must still be able to
// close descriptors before it execs. Taking the lock before fork() instead
// could deadlock with a runtime that holds its allocator's lock across
// fork() while the lock's holder allocates.
void releaseInChild() { g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP; }

class Held {
 public:
  Held() {
    pthread_once(&g_forkHandler, [] { pthread_atfork(nullptr, nullptr, releaseInChild); });
    pthread_mutex_lock(&g_lock);
  }
  ~Held() { pthread_mutex_unlock(&g_lock); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};

// The definition of `name` after this one: umockdev's, or the C library's
// where umockdev is not loaded. Looked up once; the cache is a plain atomic
// pointer, since a guarded static would need the C++ runtime.
template <typename Function>
Function next(Function& cached, const char* name) {
  Function function = __atomic_load_n(&cached, __ATOMIC_ACQUIRE);
  if (function == nullptr) {
    function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    __atomic_store_n(&cached, function, __ATOMIC_RELEASE);
  }
  return function;
}

using Open = int (*)(const char*, int, ...);
using OpenChecked = int (*)(const char*, int);
using FileOpen = FILE* (*)(const char*, const char*);
using Close = int (*)(int);
using FileClose = int (*)(FILE*);
using Socket = int (*)(int, int, int);

Open g_open = nullptr;
OpenChecked g_open2 = nullptr;
FileOpen g_fopen = nullptr;
Close g_close = nullptr;
FileClose g_fclose = nullptr;
Socket g_socket = nullptr;

}  // namespace

// On a 64-bit system the large-file functions are the plain ones under a
// second name, in the C library and in umockdev alike, so each is defined
// once under both names.
extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  // The mode is there only when the flags say so, as open() itself reads it.
  const mode_t mode =
      (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, unsigned)) : 0;
  va_end(arguments);
  const Held held;
  return next(g_open, "open")(path, flags, mode);
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int __open_2(const char* path, int flags) {
  const Held held;
  return next(g_open2, "__open_2")(path, flags);
}
int __open64_2(const char* path, int flags) __attribute__((alias("__open_2")));

FILE* fopen(const char* path, const char* mode) {
  const Held held;
  return next(g_fopen, "fopen")(path, mode);
}
FILE* fopen64(const char* path, const char* mode) __attribute__((alias("fopen")));

int close(int descriptor) {
  const Held held;
  return next(g_close, "close")(descriptor);
}

int fclose(FILE* stream) {
  const Held held;
  return next(g_fclose, "fclose")(stream);
}

int socket(int domain, int type, int protocol) noexcept {
  const Held held;
  return next(g_socket, "socket")(domain, type, protocol);
}

}  // extern "C"

namespace simkbd {

bool descriptorTablesLocked() {
  return dlsym(RTLD_DEFAULT, "close") == reinterpret_cast<void*>(&close) &&
         dlsym(RTLD_DEFAULT, "open") == reinterpret_cast<void*>(&open);
}

}  // namespace simkbd
