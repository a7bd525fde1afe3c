// SPDX-License-Identifier: GPL-3.0-or-later
// Queues: the runtime's in-memory lists of fixed-size records, moved in and out through one record
// buffer and addressed by 1-based position.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "runtime/field.h"

namespace vantora::runtime {

// The capacities the entry array steps through as it grows. 1024 follows 256 on purpose.
inline constexpr std::array<uint32_t, 20> kQueueCapacitySteps = {
    0,    2,    4,    8,     16,    32,    64,     128,    256,    1024,
    2048, 4096, 8192, 16000, 32000, 65000, 130000, 250000, 500000, 1000000};

// Past the last step the array keeps growing by that step, up to this many entries; an insertion
// beyond it fails like any other lack of memory.
inline constexpr int32_t kQueueMaxCount = 2'147'000'000;

// The capacity that follows `capacity` once an insertion exceeds it; 0 when there is none.
uint32_t NextQueueCapacity(uint32_t capacity);

// One stored record: a heap copy of the record buffer, exactly record-size bytes.
using QueueEntry = std::unique_ptr<std::byte[]>;

// The entry array: references to the entries in queue order, plus the queue's state. Inserting and
// deleting move references only; a record stays where it was allocated until it is released.
class QVKARRAY {
 public:
  QVKARRAY(uint32_t recordSize, uint32_t changes) : recordSize_(recordSize), changes_(changes) {}
  QVKARRAY(const QVKARRAY&) = delete;
  QVKARRAY& operator=(const QVKARRAY&) = delete;

  uint32_t RecordSize() const { return recordSize_; }
  int32_t Count() const { return count_; }
  uint32_t Capacity() const { return capacity_; }
  // 1-based; 0 when there is none. May be count + 1 after the last entry was deleted.
  int32_t Position() const { return position_; }
  void SetPosition(int32_t position) { position_ = position; }
  uint32_t Changes() const { return changes_; }
  void NoteChange() { ++changes_; }
  // Kept in key order by appends; the player's queues never are.
  bool Sorted() const { return sorted_; }

  // The record at a 1-based position; null outside 1..count.
  std::byte* Record(int32_t position) const;

  // Stores `entry` at the 0-based index (at most the count), growing the array when it is full.
  // False when the array could not grow; the entry is then released and nothing changed.
  // The caller keeps the count below kQueueMaxCount.
  bool Insert(int32_t index, QueueEntry entry);
  // Releases the entry at the 0-based index (below the count) and closes the gap.
  void Erase(int32_t index);

 private:
  bool Grow();

  std::unique_ptr<QueueEntry[]> refs_;
  uint32_t recordSize_;
  uint32_t capacity_ = 0;
  int32_t count_ = 0;
  int32_t position_ = 0;
  uint32_t changes_;
  bool sorted_ = false;
};

// A queue as the program declares it, usually as a program-wide variable. Owning its entries, a
// static descriptor releases them when the program ends.
struct QueueDescriptor {
  void* buffer = nullptr;             // the record buffer
  RecordFields fields;                // the record's fields, for the list controls
  std::unique_ptr<QVKARRAY> entries;  // null until first used; dropped by QueueFree
  uint32_t recordSize = 0;            // bytes per record
  // The change counter of the array dropped by QueueFree, plus one: a new array goes on from
  // here, so a list never sees an old counter value for a queue that was emptied and refilled.
  uint32_t freedChanges = 0;
};

// The queue operations. Each clears LastError first and creates the entry array on first use.
// A null descriptor (or one without a buffer) sets LastError 7 and does nothing; a position that
// names no entry sets LastError 30; no memory for a new entry sets LastError 8 and leaves the queue
// as it was; no memory to grow the entry array is fatal runtime error 501.
int32_t QueueCount(QueueDescriptor* queue) noexcept;
// The current position: 0 when there is none.
int32_t QueuePosition(QueueDescriptor* queue) noexcept;
// Copies the entry into the buffer and makes it current. Outside 1..count the buffer is kept;
// position 0 also clears the current position.
void QueueGet(QueueDescriptor* queue, int32_t position) noexcept;
// Copies the buffer over the current entry.
void QueuePut(QueueDescriptor* queue) noexcept;
// Adds a copy of the buffer as the last entry and makes it current.
void QueueAppend(QueueDescriptor* queue) noexcept;
// Adds a copy of the buffer as entry `position`, moving later entries down, and makes it current.
// A position outside 1..count appends.
void QueueInsert(QueueDescriptor* queue, int32_t position) noexcept;
// Removes the current entry. The current position keeps its number and so names the next entry.
void QueueDelete(QueueDescriptor* queue) noexcept;
// Releases every entry and the array: the queue is empty with no current entry.
void QueueFree(QueueDescriptor* queue) noexcept;

// For list controls and tests; these leave LastError, the buffer and the queue alone.
// The change counter: it moves on with every add, put, delete and free.
uint32_t QueueChanges(const QueueDescriptor* queue) noexcept;
// The entry array's capacity; 0 before first use and after QueueFree.
uint32_t QueueCapacity(const QueueDescriptor* queue) noexcept;
// The stored bytes of the entry at a 1-based position; empty outside 1..count.
std::span<const std::byte> PeekQueueEntry(const QueueDescriptor* queue, int32_t position) noexcept;

// Test seam: asked before each allocation of an entry or of the entry array. Returning false or
// throwing std::bad_alloc makes that allocation fail as if memory had run out. Returns the
// previous check; an empty check allows everything.
enum class QueueAllocation : uint8_t { Entry, Array };
using QueueAllocationCheck = std::function<bool(QueueAllocation what)>;
QueueAllocationCheck SetQueueAllocationCheck(QueueAllocationCheck check);

}  // namespace vantora::runtime
