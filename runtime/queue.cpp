// SPDX-License-Identifier: GPL-3.0-or-later
// Queues of fixed-size records.
#include "runtime/queue.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "runtime/errors.h"

namespace vantora::runtime {
namespace {

constexpr std::string_view kArrayOutOfMemory = "Out of memory in QVKARRAY!";

QueueAllocationCheck& AllocationCheck() {
  static QueueAllocationCheck check;
  return check;
}

// Throws std::bad_alloc when the test seam refuses the allocation, so that a refusal takes the
// same road as a real failure.
void CheckAllocation(QueueAllocation what) {
  const QueueAllocationCheck& check = AllocationCheck();
  if (check && !check(what)) {
    throw std::bad_alloc();
  }
}

// A heap copy of the record buffer; null when there is no memory for it.
QueueEntry CopyOfBuffer(const QueueDescriptor& queue) {
  try {
    CheckAllocation(QueueAllocation::Entry);
    QueueEntry entry = std::make_unique_for_overwrite<std::byte[]>(queue.recordSize);
    std::memcpy(entry.get(), queue.buffer, queue.recordSize);
    return entry;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The start of every operation: clears LastError and finds the entry array, creating it on first
// use. Null when the descriptor cannot be used (LastError 7).
QVKARRAY* Prepare(QueueDescriptor* queue) {
  SetLastError(0);
  if (queue == nullptr || queue->buffer == nullptr) {
    SetLastError(kErrMemoryCorrupted);
    return nullptr;
  }
  if (!queue->entries) {
    try {
      CheckAllocation(QueueAllocation::Array);
      queue->entries = std::make_unique<QVKARRAY>(queue->recordSize, queue->freedChanges);
    } catch (const std::bad_alloc&) {
      FatalError(kFatalInternal, kArrayOutOfMemory);
    }
  }
  // Entries hold exactly the record size they were made with; a descriptor that no longer agrees
  // would make every copy read or write past one end.
  if (queue->entries->RecordSize() != queue->recordSize) {
    SetLastError(kErrMemoryCorrupted);
    return nullptr;
  }
  return queue->entries.get();
}

// Adds a copy of the buffer at a 1-based position; outside 1..count it goes last.
void InsertAt(QueueDescriptor* queue, int32_t position) {
  QVKARRAY* array = Prepare(queue);
  if (array == nullptr) {
    return;
  }
  const int32_t count = array->Count();
  if (count >= kQueueMaxCount) {
    SetLastError(kErrInsufficientMemory);
    return;
  }
  QueueEntry entry = CopyOfBuffer(*queue);
  if (!entry) {
    SetLastError(kErrInsufficientMemory);
    return;
  }
  const int32_t index = (position < 1 || position > count) ? count : position - 1;
  if (!array->Insert(index, std::move(entry))) {
    FatalError(kFatalInternal, kArrayOutOfMemory);
  }
  array->SetPosition(index + 1);
  array->NoteChange();
}

}  // namespace

uint32_t NextQueueCapacity(uint32_t capacity) {
  const auto* step =
      std::upper_bound(kQueueCapacitySteps.begin(), kQueueCapacitySteps.end(), capacity);
  if (step != kQueueCapacitySteps.end()) {
    return *step;
  }
  const uint32_t last = kQueueCapacitySteps.back();
  const auto limit = static_cast<uint32_t>(kQueueMaxCount);
  if (capacity >= limit) {
    return 0;
  }
  return limit - capacity < last ? limit : capacity + last;
}

std::byte* QVKARRAY::Record(int32_t position) const {
  if (position < 1 || position > count_) {
    return nullptr;
  }
  return refs_[static_cast<size_t>(position - 1)].get();
}

bool QVKARRAY::Insert(int32_t index, QueueEntry entry) {
  if (static_cast<uint32_t>(count_) == capacity_ && !Grow()) {
    return false;
  }
  QueueEntry* refs = refs_.get();
  std::move_backward(refs + index, refs + count_, refs + count_ + 1);
  refs[index] = std::move(entry);
  ++count_;
  return true;
}

void QVKARRAY::Erase(int32_t index) {
  QueueEntry* refs = refs_.get();
  refs[index].reset();
  std::move(refs + index + 1, refs + count_, refs + index);
  --count_;
}

bool QVKARRAY::Grow() {
  const uint32_t next = NextQueueCapacity(capacity_);
  if (next == 0) {
    return false;
  }
  try {
    CheckAllocation(QueueAllocation::Array);
    auto refs = std::make_unique<QueueEntry[]>(next);
    std::move(refs_.get(), refs_.get() + count_, refs.get());
    refs_ = std::move(refs);
    capacity_ = next;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int32_t QueueCount(QueueDescriptor* queue) noexcept {
  const QVKARRAY* array = Prepare(queue);
  return array == nullptr ? 0 : array->Count();
}

int32_t QueuePosition(QueueDescriptor* queue) noexcept {
  const QVKARRAY* array = Prepare(queue);
  return array == nullptr ? 0 : array->Position();
}

void QueueGet(QueueDescriptor* queue, int32_t position) noexcept {
  QVKARRAY* array = Prepare(queue);
  if (array == nullptr) {
    return;
  }
  const std::byte* record = array->Record(position);
  if (record == nullptr) {
    if (position == 0) {
      array->SetPosition(0);
    }
    SetLastError(kErrEntryNotFound);
    return;
  }
  std::memcpy(queue->buffer, record, queue->recordSize);
  array->SetPosition(position);
}

void QueuePut(QueueDescriptor* queue) noexcept {
  QVKARRAY* array = Prepare(queue);
  if (array == nullptr) {
    return;
  }
  std::byte* record = array->Record(array->Position());
  if (record == nullptr) {
    SetLastError(kErrEntryNotFound);
    return;
  }
  std::memcpy(record, queue->buffer, queue->recordSize);
  array->NoteChange();
}

void QueueAppend(QueueDescriptor* queue) noexcept {
  InsertAt(queue, 0);
}

void QueueInsert(QueueDescriptor* queue, int32_t position) noexcept {
  InsertAt(queue, position);
}

void QueueDelete(QueueDescriptor* queue) noexcept {
  QVKARRAY* array = Prepare(queue);
  if (array == nullptr) {
    return;
  }
  const int32_t position = array->Position();
  if (array->Record(position) == nullptr) {
    SetLastError(kErrEntryNotFound);
    return;
  }
  array->Erase(position - 1);
  array->NoteChange();
}

void QueueFree(QueueDescriptor* queue) noexcept {
  const QVKARRAY* array = Prepare(queue);
  if (array == nullptr) {
    return;
  }
  queue->freedChanges = array->Changes() + 1;
  queue->entries.reset();
}

uint32_t QueueChanges(const QueueDescriptor* queue) noexcept {
  if (queue == nullptr) {
    return 0;
  }
  return queue->entries ? queue->entries->Changes() : queue->freedChanges;
}

uint32_t QueueCapacity(const QueueDescriptor* queue) noexcept {
  return queue != nullptr && queue->entries ? queue->entries->Capacity() : 0;
}

std::span<const std::byte> PeekQueueEntry(const QueueDescriptor* queue, int32_t position) noexcept {
  if (queue == nullptr || !queue->entries) {
    return {};
  }
  const std::byte* record = queue->entries->Record(position);
  if (record == nullptr) {
    return {};
  }
  return {record, queue->entries->RecordSize()};
}

QueueAllocationCheck SetQueueAllocationCheck(QueueAllocationCheck check) {
  return std::exchange(AllocationCheck(), std::move(check));
}

}  // namespace vantora::runtime
