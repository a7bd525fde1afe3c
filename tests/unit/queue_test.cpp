// SPDX-License-Identifier: GPL-3.0-or-later
// Queues: positions, errors, growth, record layouts and allocation failures.
#include "runtime/queue.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/errors.h"

namespace vantora::runtime {
namespace {

// The record layouts the player's queues use.
struct TrackRecord {
  std::array<char, 60> TRACKTITLE;
};
struct PlayRecord {
  std::array<char, 60> PLTRACKTITLE;
  int32_t PLTRACKNUMBER;
};
struct HoldRecord {
  std::array<char, 60> HOLDPLAYLISTNAME;
  std::array<uint8_t, 200> HOLDPLAYLISTARRAY;  // 100 cells of two characters
};
static_assert(sizeof(TrackRecord) == 60 && sizeof(PlayRecord) == 64 && sizeof(HoldRecord) == 260);

constexpr FieldDescriptor kTrackFields[] = {{"TRACKTITLE", DataType::Text, 0, 60, "S60"}};
constexpr FieldDescriptor kPlayFields[] = {{"PLTRACKTITLE", DataType::Text, 0, 60, "S60"},
                                           {"PLTRACKNUMBER", DataType::Long, 60, 4, ""}};
constexpr FieldDescriptor kHoldFields[] = {{"HOLDPLAYLISTNAME", DataType::Text, 0, 60, "S60"},
                                           {"HOLDPLAYLISTARRAY", DataType::Byte, 60, 200, ""}};

void SetText(std::array<char, 60>& field, std::string_view text) {
  field.fill(' ');
  std::memcpy(field.data(), text.data(), std::min(text.size(), field.size()));
}

std::string Trimmed(const char* data, size_t size) {
  std::string text(data, size);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// A queue of titles, shaped like the track list.
struct TitleQueue {
  TrackRecord record{};
  QueueDescriptor queue{&record, kTrackFields, nullptr, sizeof(TrackRecord)};

  void Set(std::string_view text) { SetText(record.TRACKTITLE, text); }
  std::string Buffer() const { return Trimmed(record.TRACKTITLE.data(), 60); }
  void Append(std::string_view text) {
    Set(text);
    QueueAppend(&queue);
  }
  std::vector<std::string> Contents() const {
    std::vector<std::string> titles;
    for (int32_t position = 1; !PeekQueueEntry(&queue, position).empty(); ++position) {
      titles.push_back(
          Trimmed(reinterpret_cast<const char*>(PeekQueueEntry(&queue, position).data()), 60));
    }
    return titles;
  }
};

using Titles = std::vector<std::string>;

// Installs an allocation check for one scope.
class AllocationCheckScope {
 public:
  explicit AllocationCheckScope(QueueAllocationCheck check)
      : previous_(SetQueueAllocationCheck(std::move(check))) {}
  ~AllocationCheckScope() { SetQueueAllocationCheck(std::move(previous_)); }
  AllocationCheckScope(const AllocationCheckScope&) = delete;
  AllocationCheckScope& operator=(const AllocationCheckScope&) = delete;

 private:
  QueueAllocationCheck previous_;
};

// Fails every allocation of one kind, by refusing it or by throwing as operator new would.
QueueAllocationCheck Refuse(QueueAllocation kind, bool throws) {
  return [kind, throws](QueueAllocation what) {
    if (what == kind && throws) {
      throw std::bad_alloc();
    }
    return what != kind;
  };
}

TEST(Queue, EmptyQueueHasNoEntriesAndNoCurrentEntry) {
  TitleQueue q;
  q.Set("KEEP");
  SetLastError(99);
  EXPECT_EQ(QueueCount(&q.queue), 0);
  EXPECT_EQ(LastError(), 0);
  EXPECT_NE(q.queue.entries, nullptr);
  EXPECT_EQ(QueuePosition(&q.queue), 0);
  for (const auto& operation : std::vector<std::function<void()>>{[&] { QueueGet(&q.queue, 1); },
                                                                  [&] { QueuePut(&q.queue); },
                                                                  [&] { QueueDelete(&q.queue); }}) {
    operation();
    EXPECT_EQ(LastError(), kErrEntryNotFound);
  }
  EXPECT_EQ(q.Buffer(), "KEEP");
  EXPECT_EQ(QueueChanges(&q.queue), 0u);
}

TEST(Queue, UnusableDescriptorSetsMemoryCorruptedAndDoesNothing) {
  TitleQueue resized;
  resized.Append("A");
  resized.queue.recordSize = 64;  // entries hold 60 bytes: copying 64 would overrun them
  QueueDescriptor noBuffer{nullptr, kTrackFields, nullptr, sizeof(TrackRecord)};
  for (QueueDescriptor* queue :
       {static_cast<QueueDescriptor*>(nullptr), &noBuffer, &resized.queue}) {
    for (const auto& operation : std::vector<std::function<void()>>{
             [&] { QueueCount(queue); }, [&] { QueuePosition(queue); }, [&] { QueueGet(queue, 1); },
             [&] { QueuePut(queue); }, [&] { QueueAppend(queue); }, [&] { QueueInsert(queue, 1); },
             [&] { QueueDelete(queue); }, [&] { QueueFree(queue); }}) {
      SetLastError(0);
      operation();
      EXPECT_EQ(LastError(), kErrMemoryCorrupted);
    }
  }
  EXPECT_EQ(noBuffer.entries, nullptr);
  resized.queue.recordSize = 60;
  EXPECT_EQ(resized.Contents(), Titles{"A"});
  EXPECT_EQ(QueueChanges(&resized.queue), 1u);
}

TEST(Queue, InsertPlacesTheEntryAndMakesItCurrent) {
  struct Row {
    const char* name;
    int32_t position;
    Titles contents;
    int32_t current;
  };
  const Row rows[] = {
      {"first", 1, {"X", "A", "B"}, 1},   {"last", 2, {"A", "X", "B"}, 2},
      {"count+1", 3, {"A", "B", "X"}, 3}, {"far past count", 5, {"A", "B", "X"}, 3},
      {"zero", 0, {"A", "B", "X"}, 3},    {"negative", -1, {"A", "B", "X"}, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TitleQueue q;
    q.Append("A");
    q.Append("B");
    q.Set("X");
    QueueInsert(&q.queue, row.position);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(q.Contents(), row.contents);
    EXPECT_EQ(QueuePosition(&q.queue), row.current);
  }
}

TEST(Queue, DeleteKeepsThePositionNumberWhichNamesTheNextEntry) {
  TitleQueue q;
  for (const char* title : {"A", "B", "C"}) {
    q.Append(title);
  }
  QueueGet(&q.queue, 2);
  QueueDelete(&q.queue);
  EXPECT_EQ(q.Contents(), (Titles{"A", "C"}));
  EXPECT_EQ(QueuePosition(&q.queue), 2);
  q.Set("Z");
  QueuePut(&q.queue);  // position 2 is now C
  EXPECT_EQ(q.Contents(), (Titles{"A", "Z"}));

  QueueDelete(&q.queue);  // the last entry: the position now names nothing
  EXPECT_EQ(QueuePosition(&q.queue), 2);
  QueuePut(&q.queue);
  EXPECT_EQ(LastError(), kErrEntryNotFound);
  QueueDelete(&q.queue);
  EXPECT_EQ(LastError(), kErrEntryNotFound);
  EXPECT_EQ(q.Contents(), Titles{"A"});
}

TEST(Queue, GetOutsideTheEntriesKeepsTheBuffer) {
  TitleQueue q;
  q.Append("A");
  q.Append("B");
  QueueGet(&q.queue, 1);
  EXPECT_EQ(q.Buffer(), "A");
  q.Set("KEEP");
  for (int32_t position : {3, -1}) {
    QueueGet(&q.queue, position);
    EXPECT_EQ(LastError(), kErrEntryNotFound);
    EXPECT_EQ(QueuePosition(&q.queue), 1);
  }
  QueueGet(&q.queue, 0);
  EXPECT_EQ(LastError(), kErrEntryNotFound);
  EXPECT_EQ(QueuePosition(&q.queue), 0);
  EXPECT_EQ(q.Buffer(), "KEEP");
  QueuePut(&q.queue);
  EXPECT_EQ(LastError(), kErrEntryNotFound);
  EXPECT_EQ(q.Contents(), (Titles{"A", "B"}));
}

TEST(Queue, FreeReleasesEverythingAndTheQueueStartsAgain) {
  TitleQueue q;
  q.Append("A");
  q.Append("B");
  QueueFree(&q.queue);
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(q.queue.entries, nullptr);
  EXPECT_EQ(QueueCapacity(&q.queue), 0u);
  QueueDelete(&q.queue);
  EXPECT_EQ(LastError(), kErrEntryNotFound);
  EXPECT_EQ(QueueCount(&q.queue), 0);
  EXPECT_EQ(QueuePosition(&q.queue), 0);
  q.Append("C");
  EXPECT_EQ(q.Contents(), Titles{"C"});
  EXPECT_EQ(QueuePosition(&q.queue), 1);
}

TEST(Queue, ChangeCounterCountsAddsPutsDeletesAndFrees) {
  TitleQueue q;
  q.Append("A");
  struct Step {
    const char* name;
    std::function<void()> run;
    uint32_t added;
  };
  const Step steps[] = {
      {"append", [&] { QueueAppend(&q.queue); }, 1},
      {"insert", [&] { QueueInsert(&q.queue, 1); }, 1},
      {"put", [&] { QueuePut(&q.queue); }, 1},
      {"get", [&] { QueueGet(&q.queue, 2); }, 0},
      {"count and position",
       [&] {
         QueueCount(&q.queue);
         QueuePosition(&q.queue);
       },
       0},
      {"delete", [&] { QueueDelete(&q.queue); }, 1},
      {"failed get", [&] { QueueGet(&q.queue, 0); }, 0},
      {"failed put", [&] { QueuePut(&q.queue); }, 0},
      {"failed delete", [&] { QueueDelete(&q.queue); }, 0},
      {"free", [&] { QueueFree(&q.queue); }, 1},
      {"append after free", [&] { QueueAppend(&q.queue); }, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const uint32_t before = QueueChanges(&q.queue);
    step.run();
    EXPECT_EQ(QueueChanges(&q.queue), before + step.added);
  }
}

TEST(Queue, CapacityStepsThroughTheTable) {
  const std::pair<uint32_t, uint32_t> rows[] = {
      {0, 2},
      {2, 4},
      {128, 256},
      {256, 1024},
      {1024, 2048},
      {8192, 16000},
      {16000, 32000},
      {500000, 1000000},
      {1000000, 2000000},
      {2000000, 3000000},
      {2146000000, 2147000000},
      {2147000000, 0},
  };
  for (const auto& [capacity, next] : rows) {
    EXPECT_EQ(NextQueueCapacity(capacity), next) << "after " << capacity;
  }
}

TEST(Queue, ArrayGrowsWhenAnInsertionExceedsItsCapacityAndNeverShrinks) {
  TitleQueue q;
  const std::unordered_map<int32_t, uint32_t> expected = {
      {1, 2}, {2, 2}, {3, 4}, {256, 256}, {257, 1024}, {1024, 1024}, {1025, 2048}};
  for (int32_t count = 1; count <= 1025; ++count) {
    QueueInsert(&q.queue, 1);
    if (expected.contains(count)) {
      EXPECT_EQ(QueueCapacity(&q.queue), expected.at(count)) << "count " << count;
    }
  }
  for (int32_t left = 1025; left > 0; --left) {
    QueueGet(&q.queue, 1);
    QueueDelete(&q.queue);
  }
  EXPECT_EQ(QueueCount(&q.queue), 0);
  EXPECT_EQ(QueueCapacity(&q.queue), 2048u);
}

// Fills a record with a pattern that differs per record and covers every byte value.
template <typename Record>
void Pattern(Record& record, int seed) {
  auto* bytes = reinterpret_cast<uint8_t*>(&record);
  for (size_t i = 0; i < sizeof(Record); ++i) {
    bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7);
  }
}

template <typename Record>
void ExpectRoundTrip(RecordFields fields) {
  Record buffer{};
  QueueDescriptor queue{&buffer, fields, nullptr, sizeof(Record)};
  for (int seed = 1; seed <= 3; ++seed) {
    Pattern(buffer, seed);
    QueueAppend(&queue);
  }
  std::memset(&buffer, 0xAA, sizeof(Record));  // entries are copies, not the buffer
  for (int seed = 1; seed <= 3; ++seed) {
    Record want{};
    Pattern(want, seed);
    const std::span<const std::byte> stored = PeekQueueEntry(&queue, seed);
    ASSERT_EQ(stored.size(), sizeof(Record));
    EXPECT_NE(static_cast<const void*>(stored.data()), static_cast<const void*>(&buffer));
    EXPECT_EQ(std::memcmp(stored.data(), &want, sizeof(Record)), 0);
    QueueGet(&queue, seed);
    EXPECT_EQ(std::memcmp(&buffer, &want, sizeof(Record)), 0);
  }
}

TEST(Queue, PlayerRecordLayoutsRoundTripByteForByte) {
  ExpectRoundTrip<TrackRecord>(kTrackFields);
  ExpectRoundTrip<PlayRecord>(kPlayFields);
  ExpectRoundTrip<HoldRecord>(kHoldFields);
}

TEST(Queue, NoMemoryForAnEntryLeavesTheQueueAsItWas) {
  for (bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "allocation throws" : "allocation refused");
    TitleQueue q;
    q.Append("A");
    q.Append("B");
    QueueGet(&q.queue, 1);
    const uint32_t changes = QueueChanges(&q.queue);
    {
      AllocationCheckScope refuse(Refuse(QueueAllocation::Entry, throws));
      q.Set("X");
      QueueAppend(&q.queue);
      EXPECT_EQ(LastError(), kErrInsufficientMemory);
      QueueInsert(&q.queue, 1);
      EXPECT_EQ(LastError(), kErrInsufficientMemory);
    }
    EXPECT_EQ(q.Contents(), (Titles{"A", "B"}));
    EXPECT_EQ(QueuePosition(&q.queue), 1);
    EXPECT_EQ(QueueChanges(&q.queue), changes);
    QueueAppend(&q.queue);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(q.Contents(), (Titles{"A", "B", "X"}));
  }
}

// Program-wide, as the player's queues are, so that the dying process still reaches them.
TitleQueue g_dyingQueue;

TEST(QueueDeathTest, NoMemoryToGrowTheArrayIsFatal) {
  const char* message = "Runtime error: Internal error 01 : Out of memory in QVKARRAY!";
  for (bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "allocation throws" : "allocation refused");
    EXPECT_EXIT(
        {
          g_dyingQueue.Append("A");
          g_dyingQueue.Append("B");  // capacity 2 is full now
          SetQueueAllocationCheck(Refuse(QueueAllocation::Array, throws));
          g_dyingQueue.Append("C");
        },
        testing::ExitedWithCode(kFatalExitCode), message);
    EXPECT_EXIT(
        {
          SetQueueAllocationCheck(Refuse(QueueAllocation::Array, throws));
          QueueCount(&g_dyingQueue.queue);  // first use creates the array
        },
        testing::ExitedWithCode(kFatalExitCode), message);
  }
}

// A long run of appends, inserts, puts and deletes from the middle against a plain vector; records
// must never move, only the references to them.
TEST(Queue, LongRunMatchesAVectorModel) {
  PlayRecord buffer{};
  QueueDescriptor queue{&buffer, kPlayFields, nullptr, sizeof(PlayRecord)};
  std::vector<int32_t> model;
  std::unordered_map<int32_t, const std::byte*> where;
  int32_t nextId = 0;
  const auto add = [&](int32_t position) {
    const int32_t id = nextId++;
    SetText(buffer.PLTRACKTITLE, "Title " + std::to_string(id));
    buffer.PLTRACKNUMBER = id;
    QueueInsert(&queue, position);
    const int32_t index = QueuePosition(&queue) - 1;
    model.insert(model.begin() + index, id);
    where[id] = PeekQueueEntry(&queue, index + 1).data();
  };
  const auto expectSame = [&] {
    ASSERT_EQ(QueueCount(&queue), static_cast<int32_t>(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      const std::byte* stored = PeekQueueEntry(&queue, static_cast<int32_t>(i + 1)).data();
      ASSERT_EQ(stored, where[model[i]]) << "entry " << i + 1;
      int32_t number = 0;
      std::memcpy(&number, stored + 60, sizeof number);
      ASSERT_EQ(number, model[i]) << "entry " << i + 1;
    }
  };

  for (int i = 0; i < 10000; ++i) {
    add(0);
  }
  expectSame();
  std::mt19937 random(20261207);
  for (int step = 0; step < 6000; ++step) {
    const auto count = static_cast<int32_t>(model.size());
    const int32_t position = std::uniform_int_distribution<int32_t>(1, count)(random);
    switch (step % 4) {
      case 0:
      case 1:  // delete from anywhere, mostly the middle
        QueueGet(&queue, position);
        QueueDelete(&queue);
        model.erase(model.begin() + position - 1);
        break;
      case 2:
        add(position);
        break;
      case 3:  // put a changed record back in place
        QueueGet(&queue, position);
        ASSERT_EQ(buffer.PLTRACKNUMBER, model[static_cast<size_t>(position - 1)]);
        buffer.PLTRACKNUMBER = nextId++;
        QueuePut(&queue);
        where[buffer.PLTRACKNUMBER] = PeekQueueEntry(&queue, position).data();
        ASSERT_EQ(where[buffer.PLTRACKNUMBER], where[model[static_cast<size_t>(position - 1)]]);
        model[static_cast<size_t>(position - 1)] = buffer.PLTRACKNUMBER;
        break;
    }
    ASSERT_EQ(LastError(), 0) << "step " << step;
    ASSERT_EQ(QueuePosition(&queue), position) << "step " << step;
    if (step % 1000 == 999) {
      expectSame();
    }
  }
  expectSame();
  EXPECT_EQ(QueueCapacity(&queue), 16000u);
}

}  // namespace
}  // namespace vantora::runtime
