// SPDX-License-Identifier: GPL-3.0-or-later
// An INI file held in memory: its original lines for faithful rewriting, indexed by section and
// key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantora::platform {

// Spaces and tabs at both ends removed.
std::string_view TrimBlanks(std::string_view text);

// ASCII case folding; bytes of the code page above 127 compare as they are.
std::string FoldCase(std::string_view text);

// Hashes and compares names as FoldCase would fold them, so that a look-up by a caller's spelling
// needs no folded copy. The names held must be folded already.
struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const;
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
template <typename Value>
using FoldedMap = std::unordered_map<std::string, Value, FoldedHash, FoldedEqual>;

// One parsed profile file. Lines keep their bytes and line endings; only the lines a change touches
// are rewritten. Names given by callers are trimmed here, so they may carry blanks.
class IniDocument {
 public:
  IniDocument();
  // Parses the bytes of a file; never fails, whatever the bytes.
  explicit IniDocument(std::string bytes);
  IniDocument(IniDocument&&) noexcept;
  IniDocument& operator=(IniDocument&&) noexcept;
  ~IniDocument();

  // The raw value of the first matching key of the first matching section, trimmed but still
  // quoted; nullopt when the section or the key is missing.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  // Distinct names, first occurrence first, in file order; empty names are left out. Nullopt when
  // the section is missing.
  std::optional<std::vector<std::string_view>> KeyNames(std::string_view section) const;
  std::vector<std::string_view> SectionNames() const;

  // Each returns whether the file's bytes changed. Set keeps an existing key's place and casing,
  // puts a new key after the section's last entry and a new section at the end.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  bool DeleteKey(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  // The whole file as it stands now.
  std::string Serialize() const;
  size_t SerializedSize() const;
  // The same bytes as Serialize, as few pieces of the held buffers (runs of untouched lines are
  // one piece), valid until the next change: writing them out copies nothing.
  std::vector<std::string_view> Pieces() const;
  bool SerializesTo(std::string_view bytes) const;

  // The bytes the document was parsed from or last rebased on: what the file holds on disk.
  const std::string& Base() const { return base_; }

  // Takes `bytes`, which must equal Serialize(), as the new base, dropping the edit buffer.
  void Rebase(std::string bytes);

  // Bytes held for edits since the last rebase.
  size_t EditBytes() const { return edits_.size(); }

 private:
  // A line's text (without its ending), in the base or in the edit buffer.
  struct Line {
    uint32_t offset = 0;
    uint32_t length : 29 = 0;
    uint32_t ending : 2 = 0;  // Ending enumerator
    uint32_t inEdits : 1 = 0;
  };
  struct Section;

  std::string_view Text(const Line& line) const;
  static std::string_view EndingText(const Line& line);
  Line Store(std::string_view text, unsigned ending);
  Section* FindSection(std::string_view section) const;
  void IndexSection(Section& section) const;
  void ReindexName(const std::string& folded);

  std::string base_;
  std::string edits_;
  // A UTF-8 byte-order mark opens the file: no line's text, but written back as it was.
  bool byteOrderMark_ = false;
  // Lines this document adds end like the file's own first line; those of a new file in LF.
  unsigned newEnding_ = 1;      // LF
  std::vector<Line> preamble_;  // lines before the first section
  std::vector<std::unique_ptr<Section>> sections_;
  FoldedMap<Section*> sectionIndex_;  // folded name -> first section
};

}  // namespace vantora::platform
