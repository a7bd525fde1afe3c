// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes the process holds on its heap right now, for tests that watch memory stay flat over
// a long run.
#pragma once

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTORA_LIVE_HEAP_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VANTORA_LIVE_HEAP_SANITIZER 1
#endif

#ifdef VANTORA_LIVE_HEAP_SANITIZER
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

namespace vantora::app::testing {

// Under the sanitizers their allocator's count of live bytes; else glibc's, with the large
// blocks it maps on their own.
inline size_t LiveHeapBytes();

// Whether that count is exact. glibc's also holds the freed chunks its per-thread cache keeps
// for reuse, up to seven of each small size (some 230 KiB at most).
#ifdef VANTORA_LIVE_HEAP_SANITIZER
inline constexpr bool kExactLiveHeap = true;
#else
inline constexpr bool kExactLiveHeap = false;
#endif

inline size_t LiveHeapBytes() {
#ifdef VANTORA_LIVE_HEAP_SANITIZER
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

}  // namespace vantora::app::testing
