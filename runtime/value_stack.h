// SPDX-License-Identifier: GPL-3.0-or-later
// The value stack: the 32 text values through which text arguments and results travel between the
// player's procedures and the runtime (the first argument on top).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace vantora::runtime {

inline constexpr size_t kValueStackSize = 32;

// Entry flags.
inline constexpr uint32_t kEntryOwned = 1u << 0;   // the entry owns a heap block holding the text
inline constexpr uint32_t kEntryInline = 1u << 1;  // the text lives in the entry's inline buffer

// A heap text owned by a long-lived slot (a procedure's string result kept by its caller).
// Move-only; the block is released when the slot is reset, reassigned or destroyed.
class HeapString {
 public:
  HeapString() = default;
  HeapString(std::unique_ptr<char[]> block, size_t length)
      : block_(std::move(block)), length_(block_ ? length : 0) {}
  HeapString(HeapString&& other) noexcept
      : block_(std::move(other.block_)), length_(std::exchange(other.length_, 0)) {}
  HeapString& operator=(HeapString&& other) noexcept {
    block_ = std::move(other.block_);
    length_ = std::exchange(other.length_, 0);
    return *this;
  }
  HeapString(const HeapString&) = delete;
  HeapString& operator=(const HeapString&) = delete;
  ~HeapString() = default;

  // A new block holding a copy of the text.
  static HeapString Copy(std::string_view text);

  const char* data() const { return block_.get(); }
  size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  std::string_view view() const { return {block_.get(), length_}; }
  void Reset() {
    block_.reset();
    length_ = 0;
  }

 private:
  std::unique_ptr<char[]> block_;
  size_t length_ = 0;
};

// Pushes a non-owning entry: the text must stay valid until the entry is popped. A null address
// pushes an empty text. A push onto a full stack is ignored (as are all the pushes below).
void PushString(const char* address, size_t length);
// Pushes the decimal text of a value ("-" for negatives, no leading zeros) in the inline buffer.
void PushInteger(int32_t value);
// Pushes an owned copy of a NUL-terminated text; a null pointer pushes an empty text.
void PushCString(const char* text);
// Pushes an owned copy of a text.
void PushText(std::string_view text);
// Pushes a boolean result the way the runtime does: "1" for true, the empty text for false.
void PushBoolean(bool value);

// Pops the two top entries and pushes one owned entry: the lower text followed by the top text.
void Concatenate();
// Compares the lower entry with the top entry (CompareStrings), pops both; negative, 0 or positive.
int CompareTop();
// Moves the entry n places below the top to the top, shifting the entries above it down by one:
// Roll(2) on A, B, C (C on top) leaves B, C, A. An n outside 0..depth-1 does nothing.
void Roll(int n);
// Pops the top entry, releasing owned text.
void Discard();
// Removes the trailing spaces of the top entry in place (only its length shrinks).
void ClipTop();
// Makes the top entry own a heap copy of its text, so it outlives the variable it points at.
void OwnTop();

// Popping an empty stack yields the empty text (and 0 for the numeric forms).

// Assigns the top entry to a fixed-length field (cut or padded with spaces) and pops it.
void PopToFixed(char* field, size_t length);
// Pops the top entry into the slot: an owned block is taken over, other text copied into a new
// block. The slot's previous block is released.
void PopToHeap(HeapString& slot);
// Pops the top entry (at most 99 characters used) and pushes its numeric value on the decimal
// stack.
void PopNumber();
// Removes trailing spaces, pops (at most 39 characters used) and returns the value read with the
// text-to-number rules of PopNumber.
double PopReal();
// Removes trailing spaces, pops, returns 1 if the text was non-empty, else 0.
int32_t PopBoolean();

// Pops the top entry into a std::string.
std::string PopText();

size_t ValueStackDepth();
// The top entry's text; empty when the stack is empty. Valid until the entry is popped.
std::string_view TopText();
// The flags of the entry n places below the top (0 when there is none); for tests and checks.
uint32_t EntryFlags(int n = 0);

// Empties both the value stack (releasing owned text) and the decimal stack.
void ResetValueStacks();

}  // namespace vantora::runtime
