// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_text.h"
#include "platform/window_system.h"

namespace vantora::platform::qt {

// of the last reset; Sync resets when the rows behind it changed.
class RowsModel final : public QAbstractTableModel {
 public:
  RowsModel(std::vector<Qt::Alignment> alignments, QObject* parent)
      : QAbstractTableModel(parent), alignments_(std::move(alignments)) {
    if (alignments_.empty()) {
      alignments_.push_back(Qt::AlignLeft);
    }
  }

  void SetRows(const NativeRows* rows) {
    beginResetModel();
    rows_ = rows;
    Remember();
    endResetModel();
  }
  const NativeRows* Rows() const { return rows_; }

  bool Changed() const {
    return rows_ != nullptr && (rows_->Changes() != changes_ || rows_->RowCount() != count_);
  }
  void Reset() {
    beginResetModel();
    Remember();
    endResetModel();
  }

  std::string Cell(int row, int column) const {
    if (rows_ == nullptr || row < 0 || row >= rows_->RowCount()) {
      return {};
    }
    // NativeRows counts rows from 1 but columns from 0, as the model does.
    return rows_->Cell(row + 1, column);
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : count_;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(alignments_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) {
      return {};
    }
    if (role == Qt::DisplayRole) {
      // Trailing blanks of fixed-length fields would push right-aligned text out of sight.
      QString text = FromAnsi(Cell(index.row(), index.column()));
      while (!text.isEmpty() && text.back() == QLatin1Char(' ')) {
        text.chop(1);
      }
      return text;
    }
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(alignments_[static_cast<size_t>(index.column())] |
                                 Qt::AlignVCenter);
    }
    return {};
  }

 private:
  void Remember() {
    count_ = rows_ != nullptr ? std::max(0, rows_->RowCount()) : 0;
    changes_ = rows_ != nullptr ? rows_->Changes() : 0;
  }

  const NativeRows* rows_ = nullptr;
  std::vector<Qt::Alignment> alignments_;
  int count_ = 0;
  uint32_t changes_ = 0;
};

}  // namespace vantora::platform::qt
