// SPDX-License-Identifier: GPL-3.0-or-later
// An INI file held in memory: its original lines for faithful rewriting, indexed by section and
// key.
#include "platform/profile/ini_document.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace vantora::platform {
namespace {

enum Ending : unsigned { kNone = 0, kLf = 1, kCr = 2, kCrLf = 3 };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The name inside a section header: up to the first "]" (or the line's end), trimmed.
std::string_view HeaderName(std::string_view trimmedLine) {
  std::string_view inside = trimmedLine.substr(1);
  inside = inside.substr(0, inside.find(']'));
  return TrimBlanks(inside);
}

bool IsHeader(std::string_view trimmed) {
  return !trimmed.empty() && trimmed.front() == '[';
}

// Key and value of an entry line; nullopt for blank, comment, header and lines without "=".
struct Entry {
  std::string_view key;
  std::string_view value;
};
std::optional<Entry> ParseEntry(std::string_view line) {
  std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') {
    return std::nullopt;
  }
  size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) {
    return std::nullopt;
  }
  return Entry{TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1))};
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    c = Fold(c);
  }
  return folded;
}

size_t FoldedHash::operator()(std::string_view text) const {
  // FNV-1a over the folded bytes.
  uint64_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash = (hash ^ static_cast<unsigned char>(Fold(c))) * 1099511628211ull;
  }
  return static_cast<size_t>(hash);
}

bool FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  return std::ranges::equal(a, b, {}, Fold, Fold);
}

struct IniDocument::Section {
  Line header;
  std::string folded;  // the header's name, case-folded
  std::vector<Line> body;
  // Folded key -> index into body of its first occurrence; built on first lookup, dropped when
  // lines are inserted or removed.
  mutable std::unique_ptr<FoldedMap<uint32_t>> keys;
};

IniDocument::IniDocument() = default;
IniDocument::IniDocument(IniDocument&&) noexcept = default;
IniDocument& IniDocument::operator=(IniDocument&&) noexcept = default;
IniDocument::~IniDocument() = default;

IniDocument::IniDocument(std::string bytes) : base_(std::move(bytes)) {
  const char* data = base_.data();
  const size_t size = base_.size();
  std::vector<Line>* lines = &preamble_;
  byteOrderMark_ = std::string_view(base_).starts_with(kByteOrderMark);
  size_t pos = byteOrderMark_ ? kByteOrderMark.size() : 0;
  const size_t firstLine = pos;
  while (pos < size) {
    // memchr is vectorised; a lone CR ends a line too, so look for one before the next LF.
    const void* lf = std::memchr(data + pos, '\n', size - pos);
    size_t end = lf == nullptr ? size : static_cast<size_t>(static_cast<const char*>(lf) - data);
    if (const void* cr = std::memchr(data + pos, '\r', end - pos)) {
      end = static_cast<size_t>(static_cast<const char*>(cr) - data);
    }
    Line line;
    line.offset = static_cast<uint32_t>(pos);
    line.length = static_cast<uint32_t>(end - pos);
    size_t next = end;
    if (end < size) {
      if (data[end] == '\n') {
        line.ending = kLf;
        next = end + 1;
      } else if (end + 1 < size && data[end + 1] == '\n') {
        line.ending = kCrLf;
        next = end + 2;
      } else {
        line.ending = kCr;
        next = end + 1;
      }
    }
    if (pos == firstLine && line.ending != kNone) {
      newEnding_ = line.ending;
    }
    std::string_view trimmed = TrimBlanks(std::string_view(data + pos, end - pos));
    if (IsHeader(trimmed)) {
      auto section = std::make_unique<Section>();
      section->header = line;
      section->folded = FoldCase(HeaderName(trimmed));
      sectionIndex_.try_emplace(section->folded, section.get());
      lines = &section->body;
      sections_.push_back(std::move(section));
    } else {
      lines->push_back(line);
    }
    pos = next;
  }
}

std::string_view IniDocument::Text(const Line& line) const {
  const std::string& store = line.inEdits ? edits_ : base_;
  return std::string_view(store).substr(line.offset, line.length);
}

std::string_view IniDocument::EndingText(const Line& line) {
  switch (line.ending) {
    case kLf:
      return "\n";
    case kCr:
      return "\r";
    case kCrLf:
      return "\r\n";
    default:
      return "";
  }
}

IniDocument::Line IniDocument::Store(std::string_view text, unsigned ending) {
  Line line;
  line.offset = static_cast<uint32_t>(edits_.size());
  line.length = static_cast<uint32_t>(text.size());
  line.ending = ending;
  line.inEdits = 1;
  edits_.append(text);
  edits_.append(EndingText(line));  // so that runs of new lines write out as one piece
  return line;
}

IniDocument::Section* IniDocument::FindSection(std::string_view section) const {
  auto it = sectionIndex_.find(TrimBlanks(section));
  return it == sectionIndex_.end() ? nullptr : it->second;
}

void IniDocument::IndexSection(Section& section) const {
  if (section.keys) {
    return;
  }
  section.keys = std::make_unique<FoldedMap<uint32_t>>();
  for (size_t i = 0; i < section.body.size(); ++i) {
    if (auto entry = ParseEntry(Text(section.body[i]))) {
      section.keys->try_emplace(FoldCase(entry->key), static_cast<uint32_t>(i));
    }
  }
}

void IniDocument::ReindexName(const std::string& folded) {
  sectionIndex_.erase(folded);
  for (const auto& section : sections_) {
    if (section->folded == folded) {
      sectionIndex_.emplace(folded, section.get());
      return;
    }
  }
}

std::optional<std::string_view> IniDocument::Find(std::string_view section,
                                                  std::string_view key) const {
  Section* found = FindSection(section);
  if (found == nullptr) {
    return std::nullopt;
  }
  IndexSection(*found);
  auto it = found->keys->find(TrimBlanks(key));
  if (it == found->keys->end()) {
    return std::nullopt;
  }
  return ParseEntry(Text(found->body[it->second]))->value;
}

std::optional<std::vector<std::string_view>> IniDocument::KeyNames(std::string_view section) const {
  Section* found = FindSection(section);
  if (found == nullptr) {
    return std::nullopt;
  }
  std::vector<std::string_view> names;
  std::unordered_set<std::string> seen;
  for (const Line& line : found->body) {
    auto entry = ParseEntry(Text(line));
    if (entry && !entry->key.empty() && seen.insert(FoldCase(entry->key)).second) {
      names.push_back(entry->key);
    }
  }
  return names;
}

std::vector<std::string_view> IniDocument::SectionNames() const {
  std::vector<std::string_view> names;
  for (const auto& section : sections_) {
    if (section->folded.empty() || sectionIndex_.at(section->folded) != section.get()) {
      continue;
    }
    names.push_back(HeaderName(TrimBlanks(Text(section->header))));
  }
  return names;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string_view name = TrimBlanks(section);
  key = TrimBlanks(key);
  Section* found = FindSection(name);
  if (found == nullptr) {
    // A new section goes at the end; the last line gets an ending if the file had none.
    Line* last = nullptr;
    if (!sections_.empty()) {
      Section& tail = *sections_.back();
      last = tail.body.empty() ? &tail.header : &tail.body.back();
    } else if (!preamble_.empty()) {
      last = &preamble_.back();
    }
    if (last != nullptr && last->ending == kNone) {
      last->ending = newEnding_;
    }
    auto added = std::make_unique<Section>();
    added->header = Store(std::string("[").append(name).append("]"), newEnding_);
    added->folded = FoldCase(name);
    added->body.push_back(Store(std::string(key).append("=").append(value), newEnding_));
    sectionIndex_.emplace(added->folded, added.get());
    sections_.push_back(std::move(added));
    return true;
  }
  IndexSection(*found);
  auto it = found->keys->find(key);
  if (it != found->keys->end()) {
    // Rewrite in place with the key's own spelling; nothing changes if the line already reads so.
    Line& line = found->body[it->second];
    std::string text(ParseEntry(Text(line))->key);
    text.append("=").append(value);
    if (text == Text(line)) {
      return false;
    }
    line = Store(text, line.ending);
    return true;
  }
  // A new key goes after the last entry, so comments closing the section stay at its end.
  size_t insertAt = 0;
  for (size_t i = found->body.size(); i > 0; --i) {
    if (ParseEntry(Text(found->body[i - 1]))) {
      insertAt = i;
      break;
    }
  }
  Line& before = insertAt == 0 ? found->header : found->body[insertAt - 1];
  if (before.ending == kNone) {
    before.ending = newEnding_;
  }
  Line added = Store(std::string(key).append("=").append(value), newEnding_);
  found->body.insert(found->body.begin() + static_cast<std::ptrdiff_t>(insertAt), added);
  found->keys.reset();
  return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    return false;
  }
  IndexSection(*found);
  auto it = found->keys->find(TrimBlanks(key));
  if (it == found->keys->end()) {
    return false;
  }
  found->body.erase(found->body.begin() + it->second);
  found->keys.reset();
  return true;
}

bool IniDocument::DeleteSection(std::string_view section) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    return false;
  }
  std::string folded = found->folded;
  auto it = std::find_if(sections_.begin(), sections_.end(),
                         [found](const auto& candidate) { return candidate.get() == found; });
  sections_.erase(it);
  // A later section of the same name, if the file has one, now counts.
  ReindexName(folded);
  return true;
}

size_t IniDocument::SerializedSize() const {
  size_t size = byteOrderMark_ ? kByteOrderMark.size() : 0;
  auto add = [&size](const Line& line) { size += line.length + EndingText(line).size(); };
  std::for_each(preamble_.begin(), preamble_.end(), add);
  for (const auto& section : sections_) {
    add(section->header);
    std::for_each(section->body.begin(), section->body.end(), add);
  }
  return size;
}

std::string IniDocument::Serialize() const {
  std::string out;
  out.reserve(SerializedSize());
  if (byteOrderMark_) {
    out.append(kByteOrderMark);
  }
  auto add = [this, &out](const Line& line) {
    out.append(Text(line));
    out.append(EndingText(line));
  };
  std::for_each(preamble_.begin(), preamble_.end(), add);
  for (const auto& section : sections_) {
    add(section->header);
    std::for_each(section->body.begin(), section->body.end(), add);
  }
  return out;
}

std::vector<std::string_view> IniDocument::Pieces() const {
  std::vector<std::string_view> pieces;
  if (byteOrderMark_) {
    pieces.push_back(kByteOrderMark);
  }
  auto add = [this, &pieces](const Line& line) {
    const std::string& store = line.inEdits ? edits_ : base_;
    const char* begin = store.data() + line.offset;
    const std::string_view ending = EndingText(line);
    // A line's ending follows its text in the buffer unless it was added to a last line.
    const size_t textEnd = line.offset + line.length;
    bool endingInPlace = textEnd + ending.size() <= store.size();
    for (size_t i = 0; endingInPlace && i < ending.size(); ++i) {
      endingInPlace = store[textEnd + i] == ending[i];
    }
    const size_t length = line.length + (endingInPlace ? ending.size() : 0);
    if (!pieces.empty() && pieces.back().data() + pieces.back().size() == begin) {
      pieces.back() = std::string_view(pieces.back().data(), pieces.back().size() + length);
    } else if (length > 0) {
      pieces.emplace_back(begin, length);
    }
    if (!endingInPlace) {
      pieces.push_back(ending);
    }
  };
  std::for_each(preamble_.begin(), preamble_.end(), add);
  for (const auto& section : sections_) {
    add(section->header);
    std::for_each(section->body.begin(), section->body.end(), add);
  }
  return pieces;
}

bool IniDocument::SerializesTo(std::string_view bytes) const {
  size_t at = 0;
  for (std::string_view piece : Pieces()) {
    if (bytes.substr(at, piece.size()) != piece) {
      return false;
    }
    at += piece.size();
  }
  return at == bytes.size();
}

void IniDocument::Rebase(std::string bytes) {
  uint32_t offset = byteOrderMark_ ? static_cast<uint32_t>(kByteOrderMark.size()) : 0;
  auto move = [&offset](Line& line) {
    line.offset = offset;
    line.inEdits = 0;
    offset += line.length + static_cast<uint32_t>(EndingText(line).size());
  };
  std::for_each(preamble_.begin(), preamble_.end(), move);
  for (auto& section : sections_) {
    move(section->header);
    std::for_each(section->body.begin(), section->body.end(), move);
  }
  base_ = std::move(bytes);
  edits_.clear();
  edits_.shrink_to_fit();
}

}  // namespace vantora::platform
