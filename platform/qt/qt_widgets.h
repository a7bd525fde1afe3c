// SPDX-License-Identifier: GPL-3.0-or-later
// Widgets for the control kinds Qt has no exact match for.
#pragma once

#include <QComboBox>
#include <QValidator>
#include <QWidget>
#include <functional>

namespace vantora::platform::qt {

// An entry takes at most its field's width in characters; a change beyond it is refused.
class CharacterLimit final : public QValidator {
 public:
  CharacterLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int& position) const override;

 private:
  int limit_;
};

// A drop list shows the text of its bound variable, which need not be one of its rows. It drops
// down as a list of as many rows as setMaxVisibleItems gives, with a scroll bar for the rest.
class DropListBox final : public QComboBox {
 public:
  explicit DropListBox(QWidget* parent);
  std::function<void()> beforeShow;
  QString shown;

  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A group's etched frame runs through the middle of its title, as the platform draws it.
class GroupFrame final : public QWidget {
 public:
  GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {}
  void SetTitle(const QString& title);
  const QString& Title() const { return title_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
};

}  // namespace vantora::platform::qt
