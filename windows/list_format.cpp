// SPDX-License-Identifier: GPL-3.0-or-later
// List-box format strings: the columns of a list control, as a window definition describes them.
#include "windows/list_format.h"

namespace vantora::windows {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<std::vector<ListColumn>> Run() {
    std::vector<ListColumn> columns;
    int32_t groups = 0;
    int32_t group = 0;
    while (!AtEnd()) {
      if (Peek() == '[') {
        if (group != 0) {
          return std::nullopt;  // groups do not nest
        }
        ++pos_;
        group = ++groups;
        continue;
      }
      if (Peek() == ']') {
        if (group == 0) {
          return std::nullopt;
        }
        ++pos_;
        group = 0;
        // A group may carry its own heading and modifiers; they describe the group only.
        ListColumn groupHead;
        if (!Modifiers(groupHead)) {
          return std::nullopt;
        }
        continue;
      }
      ListColumn column;
      column.group = group;
      if (!Column(column)) {
        return std::nullopt;
      }
      columns.push_back(std::move(column));
    }
    if (group != 0 || columns.empty()) {
      return std::nullopt;
    }
    return columns;
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  std::optional<int32_t> Number() {
    if (AtEnd() || !IsDigit(Peek())) {
      return std::nullopt;
    }
    int64_t value = 0;
    while (!AtEnd() && IsDigit(Peek())) {
      value = value * 10 + (Peek() - '0');
      if (value > 1'000'000) {
        return std::nullopt;
      }
      ++pos_;
    }
    return static_cast<int32_t>(value);
  }

  // "(n)" after a letter; false when the parentheses are malformed.
  std::optional<int32_t> Parenthesised() {
    ++pos_;  // "("
    const std::optional<int32_t> n = Number();
    if (!n || AtEnd() || Peek() != ')') {
      return std::nullopt;
    }
    ++pos_;
    return n;
  }

  // Text up to the closing delimiter; false when it is missing.
  std::optional<std::string> Delimited(char delimiter) {
    ++pos_;
    const size_t end = text_.find(delimiter, pos_);
    if (end == std::string_view::npos) {
      return std::nullopt;
    }
    std::string value(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return value;
  }

  bool Column(ListColumn& column) {
    const std::optional<int32_t> width = Number();
    if (!width || AtEnd()) {
      return false;
    }
    column.width = *width;
    const char alignment = Upper(Peek());
    if (alignment != 'L' && alignment != 'R' && alignment != 'C' && alignment != 'D') {
      return false;
    }
    column.alignment = alignment;
    ++pos_;
    if (!AtEnd() && Peek() == '(') {
      const std::optional<int32_t> indent = Parenthesised();
      if (!indent) {
        return false;
      }
      column.indent = *indent;
    }
    return Modifiers(column);
  }

  // Modifiers until the next column (a width), a group bracket or the end.
  bool Modifiers(ListColumn& column) {
    while (!AtEnd() && !IsDigit(Peek()) && Peek() != '[' && Peek() != ']') {
      const char c = Peek();
      switch (Upper(c)) {
        case '@': {
          std::optional<std::string> picture = Delimited('@');
          if (!picture) {
            return false;
          }
          column.picture = std::move(*picture);
          break;
        }
        case '#': {
          std::optional<std::string> field = Delimited('#');
          if (!field || field->empty() || field->size() > 3 ||
              field->find_first_not_of("0123456789") != std::string::npos) {
            return false;
          }
          column.field = std::stoi(*field);
          break;
        }
        case '~': {
          std::optional<std::string> heading = Delimited('~');
          if (!heading) {
            return false;
          }
          column.heading = std::move(*heading);
          break;
        }
        case 'E': {
          ++pos_;
          if (AtEnd() || Peek() != '(') {
            return false;
          }
          ++pos_;
          // A second "E(...)" replaces the colours, as a second picture or heading does.
          column.colours.clear();
          for (int i = 0; i < 4; ++i) {
            const std::optional<int32_t> colour = Number();
            if (colour) {
              column.colours.push_back(static_cast<uint32_t>(*colour));
            }
            if (!AtEnd() && Peek() == ',') {
              ++pos_;
              continue;
            }
            break;
          }
          if (AtEnd() || Peek() != ')') {
            return false;
          }
          ++pos_;
          break;
        }
        case 'H': {
          ++pos_;
          if (AtEnd() || Peek() != '(') {
            return false;
          }
          const std::optional<int32_t> value = Parenthesised();
          if (!value) {
            return false;
          }
          column.headerValue = *value;
          break;
        }
        case 'T': {
          ++pos_;
          if (AtEnd() || Peek() != '(') {
            return false;
          }
          std::optional<std::string> flags = Delimited(')');
          if (!flags || flags->find_first_not_of("LRBI1lrbi") != std::string::npos) {
            return false;
          }
          column.treeFlags = std::move(*flags);
          break;
        }
        case 'S': {
          ++pos_;
          column.scrollWidth = 100;
          if (!AtEnd() && Peek() == '(') {
            const std::optional<int32_t> width = Parenthesised();
            if (!width) {
              return false;
            }
            column.scrollWidth = *width;
          }
          break;
        }
        case '/':
        case '?':
        case '*':
        case 'I':
        case 'M':
        case 'F':
        case '|':
        case '_':
          column.flags += static_cast<char>(Upper(c));
          ++pos_;
          break;
        default:
          return false;
      }
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<std::vector<ListColumn>> ParseListFormat(std::string_view format) {
  return Parser(format).Run();
}

std::vector<int32_t> ColumnFields(const std::vector<ListColumn>& columns) {
  std::vector<int32_t> fields;
  int32_t next = 1;
  for (const ListColumn& column : columns) {
    const int32_t field = column.field > 0 ? column.field : next;
    fields.push_back(field);
    next = field + 1;
  }
  return fields;
}

}  // namespace vantora::windows
