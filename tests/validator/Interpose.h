#pragma once

// Counts what the plug-in asks of the allocator and of the lock functions
// while the calling thread is marked as being inside an audio call. The
// definitions live in the validator executable, which exports them
// (-rdynamic), so the plug-in's own calls resolve to them.

#include <cstddef>
#include <cstdint>

namespace validator {

struct AudioCallCounts {
  std::uint64_t allocations = 0;  // malloc, calloc, realloc, aligned forms, operator new
  std::uint64_t frees = 0;        // free, operator delete
  std::uint64_t locks = 0;        // mutex, rwlock, condition and semaphore waits
};

// False when the build replaces the allocator itself (sanitizers): nothing is
// counted then.
bool interposerActive();

// Marks the calling thread as inside (or outside) an audio call.
void enterAudioCall();
void leaveAudioCall();

// What the threads counted so far, summed over all threads.
AudioCallCounts audioCallCounts();

// Bytes currently allocated through the interposed allocator (all threads).
std::int64_t liveBytes();

// RAII mark for one audio call.
struct AudioCallScope {
  AudioCallScope() { enterAudioCall(); }
  ~AudioCallScope() { leaveAudioCall(); }
  AudioCallScope(const AudioCallScope&) = delete;
  AudioCallScope& operator=(const AudioCallScope&) = delete;
};

}  // namespace validator
