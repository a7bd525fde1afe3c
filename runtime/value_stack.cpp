// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/value_stack.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "runtime/decimal.h"
#include "runtime/text.h"

namespace vantora::runtime {

namespace {

constexpr size_t kInlineSize = 20;
constexpr size_t kNumberTextLimit = 99;
constexpr size_t kRealTextLimit = 39;

// One stack entry. An inline entry's address points into its own buffer, so moving an entry
// (popping, rolling) re-points the address at the destination's buffer.
struct Entry {
  uint32_t flags = 0;
  const char* address = nullptr;
  size_t length = 0;
  std::array<char, kInlineSize> inlineBuffer{};
  std::unique_ptr<char[]> block;  // the owned text when flags has kEntryOwned

  Entry() = default;
  Entry(Entry&& other) noexcept { *this = std::move(other); }
  Entry& operator=(Entry&& other) noexcept {
    if (this == &other)
      return *this;
    flags = other.flags;
    length = other.length;
    inlineBuffer = other.inlineBuffer;
    block = std::move(other.block);
    address = (flags & kEntryInline) != 0 ? inlineBuffer.data() : other.address;
    other.flags = 0;
    other.address = nullptr;
    other.length = 0;
    return *this;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;
  ~Entry() = default;

  std::string_view Text() const {
    return address == nullptr ? std::string_view() : std::string_view(address, length);
  }
};

struct ValueStack {
  std::array<Entry, kValueStackSize> entries;
  size_t depth = 0;

  bool Full() const { return depth >= kValueStackSize; }
  Entry* Top() { return depth == 0 ? nullptr : &entries[depth - 1]; }
  // Takes the top entry off; an empty entry when the stack is empty.
  Entry Pop() { return depth == 0 ? Entry() : std::move(entries[--depth]); }
  void Push(Entry entry) {
    if (Full())
      return;  // the entry, and any block it owns, is dropped here
    entries[depth++] = std::move(entry);
  }
};

ValueStack& Stack() {
  static ValueStack stack;
  return stack;
}

std::unique_ptr<char[]> CopyBlock(std::string_view text) {
  auto block = std::make_unique_for_overwrite<char[]>(text.size());
  if (!text.empty())
    std::memcpy(block.get(), text.data(), text.size());
  return block;
}

void PushOwned(std::unique_ptr<char[]> block, size_t length) {
  Entry entry;
  entry.flags = kEntryOwned;
  entry.address = block.get();
  entry.length = length;
  entry.block = std::move(block);
  Stack().Push(std::move(entry));
}

}  // namespace

HeapString HeapString::Copy(std::string_view text) {
  return {CopyBlock(text), text.size()};
}

void PushString(const char* address, size_t length) {
  Entry entry;
  entry.address = address;
  entry.length = address == nullptr ? 0 : length;
  Stack().Push(std::move(entry));
}

void PushInteger(int32_t value) {
  Entry entry;
  entry.flags = kEntryInline;
  // "-2147483648" needs 11 of the 20 bytes.
  const auto result =
      std::to_chars(entry.inlineBuffer.data(), entry.inlineBuffer.data() + kInlineSize, value);
  entry.length = static_cast<size_t>(result.ptr - entry.inlineBuffer.data());
  entry.address = entry.inlineBuffer.data();
  Stack().Push(std::move(entry));
}

void PushCString(const char* text) {
  PushText(text == nullptr ? std::string_view() : std::string_view(text));
}

void PushText(std::string_view text) {
  if (Stack().Full())
    return;
  PushOwned(CopyBlock(text), text.size());
}

void PushBoolean(bool value) {
  static constexpr char kTrue[] = "1";
  PushString(kTrue, value ? 1 : 0);
}

void Concatenate() {
  ValueStack& stack = Stack();
  const Entry top = stack.Pop();
  const Entry lower = stack.Pop();
  const std::string_view first = lower.Text();
  const std::string_view second = top.Text();
  auto block = std::make_unique_for_overwrite<char[]>(first.size() + second.size());
  if (!first.empty())
    std::memcpy(block.get(), first.data(), first.size());
  if (!second.empty())
    std::memcpy(block.get() + first.size(), second.data(), second.size());
  PushOwned(std::move(block), first.size() + second.size());
}

int CompareTop() {
  ValueStack& stack = Stack();
  const Entry top = stack.Pop();
  const Entry lower = stack.Pop();
  return CompareStrings(lower.Text(), top.Text());
}

void Roll(int n) {
  ValueStack& stack = Stack();
  if (n <= 0 || static_cast<size_t>(n) >= stack.depth)
    return;
  const size_t from = stack.depth - 1 - static_cast<size_t>(n);
  // Entry's moves re-point inline texts, so rotating keeps every entry's text its own.
  std::rotate(stack.entries.begin() + static_cast<std::ptrdiff_t>(from),
              stack.entries.begin() + static_cast<std::ptrdiff_t>(from) + 1,
              stack.entries.begin() + static_cast<std::ptrdiff_t>(stack.depth));
}

void Discard() {
  Stack().Pop();
}

void ClipTop() {
  Entry* top = Stack().Top();
  if (top == nullptr)
    return;
  top->length = CLIP(top->Text()).size();
}

void OwnTop() {
  Entry* top = Stack().Top();
  if (top == nullptr || (top->flags & kEntryOwned) != 0)
    return;
  top->block = CopyBlock(top->Text());
  top->address = top->block.get();
  top->flags = kEntryOwned;
}

void PopToFixed(char* field, size_t length) {
  const Entry top = Stack().Pop();
  const std::string_view text = top.Text();
  AssignFixed(field, length, text.data(), text.size());
}

void PopToHeap(HeapString& slot) {
  Entry top = Stack().Pop();
  if ((top.flags & kEntryOwned) != 0 && top.block) {
    // The owned block's text starts at its first byte (ClipTop only shortens it).
    slot = HeapString(std::move(top.block), top.length);
  } else {
    slot = HeapString::Copy(top.Text());
  }
}

void PopNumber() {
  const Entry top = Stack().Pop();
  DecPush(Decimal::FromText(top.Text().substr(0, kNumberTextLimit)));
}

double PopReal() {
  const Entry top = Stack().Pop();
  return RealFromText(CLIP(top.Text()).substr(0, kRealTextLimit));
}

int32_t PopBoolean() {
  const Entry top = Stack().Pop();
  return CLIP(top.Text()).empty() ? 0 : 1;
}

std::string PopText() {
  const Entry top = Stack().Pop();
  return std::string(top.Text());
}

size_t ValueStackDepth() {
  return Stack().depth;
}

std::string_view TopText() {
  const Entry* top = Stack().Top();
  return top == nullptr ? std::string_view() : top->Text();
}

uint32_t EntryFlags(int n) {
  const ValueStack& stack = Stack();
  if (n < 0 || static_cast<size_t>(n) >= stack.depth)
    return 0;
  return stack.entries[stack.depth - 1 - static_cast<size_t>(n)].flags;
}

void ResetValueStacks() {
  ValueStack& stack = Stack();
  while (stack.depth > 0)
    stack.Pop();
  ResetDecimalStack();
}

}  // namespace vantora::runtime
