// The allocator and lock functions of this process, defined here so that the
// plug-in's calls land in them: each forwards to the C library and, when the
// calling thread is inside an audio call, counts the call. The sanitizers
// replace the allocator themselves, so under them nothing is defined here.

#include "tests/validator/Interpose.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VALIDATOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VALIDATOR_SANITIZED 1
#endif
#endif

#include <atomic>

#ifndef VALIDATOR_SANITIZED

#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* pointer);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

// Plain counters: relaxed atomics never allocate or lock.
std::atomic<std::uint64_t> allocationCount{0};
std::atomic<std::uint64_t> freeCount{0};
std::atomic<std::uint64_t> lockCount{0};
std::atomic<std::int64_t> liveByteCount{0};

// Initial-exec TLS in the executable: reading it allocates nothing.
thread_local bool insideAudioCall = false;

void* noteAllocation(void* pointer) {
  if (pointer != nullptr)
    liveByteCount.fetch_add(static_cast<std::int64_t>(malloc_usable_size(pointer)),
                            std::memory_order_relaxed);
  if (insideAudioCall) allocationCount.fetch_add(1, std::memory_order_relaxed);
  return pointer;
}

void noteFree(void* pointer) {
  if (pointer == nullptr) return;
  liveByteCount.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(pointer)), std::memory_order_relaxed);
  if (insideAudioCall) freeCount.fetch_add(1, std::memory_order_relaxed);
}

void noteLock() {
  if (insideAudioCall) lockCount.fetch_add(1, std::memory_order_relaxed);
}

template <typename Function>
Function realFunction(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using MutexFunction = int (*)(pthread_mutex_t*);
using TimedMutexFunction = int (*)(pthread_mutex_t*, const struct timespec*);
using RwlockFunction = int (*)(pthread_rwlock_t*);
using SpinFunction = int (*)(pthread_spinlock_t*);

// Resolved before main, while the process has one thread.
MutexFunction realMutexLock = nullptr;
MutexFunction realMutexTrylock = nullptr;
TimedMutexFunction realMutexTimedlock = nullptr;
RwlockFunction realRdlock = nullptr;
RwlockFunction realWrlock = nullptr;
SpinFunction realSpinLock = nullptr;

__attribute__((constructor(101))) void resolveLockFunctions() {
  realMutexLock = realFunction<MutexFunction>("pthread_mutex_lock");
  realMutexTrylock = realFunction<MutexFunction>("pthread_mutex_trylock");
  realMutexTimedlock = realFunction<TimedMutexFunction>("pthread_mutex_timedlock");
  realRdlock = realFunction<RwlockFunction>("pthread_rwlock_rdlock");
  realWrlock = realFunction<RwlockFunction>("pthread_rwlock_wrlock");
  realSpinLock = realFunction<SpinFunction>("pthread_spin_lock");
}

void* alignedAllocation(std::size_t alignment, std::size_t size) {
  return noteAllocation(__libc_memalign(alignment, size));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* malloc(std::size_t size) noexcept {
  return noteAllocation(__libc_malloc(size));
}

__attribute__((visibility("default"))) void free(void* pointer) noexcept {
  noteFree(pointer);
  __libc_free(pointer);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) noexcept {
  return noteAllocation(__libc_calloc(count, size));
}

__attribute__((visibility("default"))) void* realloc(void* pointer, std::size_t size) noexcept {
  const std::int64_t before = pointer != nullptr ? static_cast<std::int64_t>(malloc_usable_size(pointer)) : 0;
  void* moved = __libc_realloc(pointer, size);
  if (moved == nullptr && size != 0) return nullptr;  // the old block stays
  liveByteCount.fetch_sub(before, std::memory_order_relaxed);
  if (moved != nullptr)
    liveByteCount.fetch_add(static_cast<std::int64_t>(malloc_usable_size(moved)), std::memory_order_relaxed);
  if (insideAudioCall) allocationCount.fetch_add(1, std::memory_order_relaxed);
  return moved;
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  return alignedAllocation(alignment, size);
}

__attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size) noexcept {
  return alignedAllocation(alignment, size);
}

__attribute__((visibility("default"))) void* valloc(std::size_t size) noexcept {
  return alignedAllocation(4096, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** result, std::size_t alignment,
                                                          std::size_t size) noexcept {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* pointer = alignedAllocation(alignment, size);
  if (pointer == nullptr) return ENOMEM;
  *result = pointer;
  return 0;
}

__attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  noteLock();
  return realMutexLock(mutex);
}

__attribute__((visibility("default"))) int pthread_mutex_trylock(pthread_mutex_t* mutex) noexcept {
  noteLock();
  return realMutexTrylock(mutex);
}

__attribute__((visibility("default"))) int pthread_mutex_timedlock(pthread_mutex_t* mutex,
                                                                   const struct timespec* until) noexcept {
  noteLock();
  return realMutexTimedlock(mutex, until);
}

__attribute__((visibility("default"))) int pthread_rwlock_rdlock(pthread_rwlock_t* lock) noexcept {
  noteLock();
  return realRdlock(lock);
}

__attribute__((visibility("default"))) int pthread_rwlock_wrlock(pthread_rwlock_t* lock) noexcept {
  noteLock();
  return realWrlock(lock);
}

__attribute__((visibility("default"))) int pthread_spin_lock(pthread_spinlock_t* lock) noexcept {
  noteLock();
  return realSpinLock(lock);
}

}  // extern "C"

// operator new and delete go to the functions above, so the library's C++
// allocations are counted exactly like its C ones.
namespace {
void* newOrThrow(std::size_t size) {
  void* pointer = malloc(size == 0 ? 1 : size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}
void* newAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
  void* pointer = alignedAllocation(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}
}  // namespace

__attribute__((visibility("default"))) void* operator new(std::size_t size) {
  return newOrThrow(size);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size) {
  return newOrThrow(size);
}
__attribute__((visibility("default"))) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size == 0 ? 1 : size);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size,
                                                            const std::nothrow_t&) noexcept {
  return malloc(size == 0 ? 1 : size);
}
__attribute__((visibility("default"))) void* operator new(std::size_t size, std::align_val_t alignment) {
  return newAlignedOrThrow(size, alignment);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size, std::align_val_t alignment) {
  return newAlignedOrThrow(size, alignment);
}
__attribute__((visibility("default"))) void* operator new(std::size_t size, std::align_val_t alignment,
                                                          const std::nothrow_t&) noexcept {
  return alignedAllocation(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size, std::align_val_t alignment,
                                                            const std::nothrow_t&) noexcept {
  return alignedAllocation(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
}
__attribute__((visibility("default"))) void operator delete(void* pointer) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete(void* pointer, std::size_t) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer, std::size_t) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete(void* pointer, std::align_val_t) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer, std::align_val_t) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete(void* pointer, std::size_t,
                                                            std::align_val_t) noexcept {
  free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer, std::size_t,
                                                              std::align_val_t) noexcept {
  free(pointer);
}

namespace validator {

bool interposerActive() {
  return true;
}
void enterAudioCall() {
  insideAudioCall = true;
}
void leaveAudioCall() {
  insideAudioCall = false;
}
AudioCallCounts audioCallCounts() {
  return {allocationCount.load(std::memory_order_relaxed), freeCount.load(std::memory_order_relaxed),
          lockCount.load(std::memory_order_relaxed)};
}
std::int64_t liveBytes() {
  return liveByteCount.load(std::memory_order_relaxed);
}

}  // namespace validator

#else  // VALIDATOR_SANITIZED

namespace validator {

bool interposerActive() {
  return false;
}
void enterAudioCall() {}
void leaveAudioCall() {}
AudioCallCounts audioCallCounts() {
  return {};
}
std::int64_t liveBytes() {
  return 0;
}

}  // namespace validator

#endif
