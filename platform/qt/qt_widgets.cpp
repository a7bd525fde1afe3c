// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qt_widgets.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "platform/qt/qt_text.h"

namespace vantora::platform::qt {

QValidator::State CharacterLimit::validate(QString& input, int& /*position*/) const {
  return input.toUcs4().size() <= limit_ ? Acceptable : Invalid;
}

namespace {

// Styles that open a drop list as a menu show every row whatever the list's height; this one
// keeps the application's look and opens it as a list.
class DropDownStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    return hint == SH_ComboBox_Popup ? 0 : QProxyStyle::styleHint(hint, option, widget, data);
  }
};

// One for all drop lists, living as long as the application and its widgets.
QStyle* DropDown() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new DropDownStyle(QApplication::style()->name());
    style->setParent(qApp);
  }
  return style;
}

}  // namespace

DropListBox::DropListBox(QWidget* parent) : QComboBox(parent) {
  setStyle(DropDown());
}

void DropListBox::showPopup() {
  if (beforeShow)
    beforeShow();
  QComboBox::showPopup();
}

void DropListBox::paintEvent(QPaintEvent* /*event*/) {
  if (beforeShow)
    beforeShow();
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText = shown;
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void GroupFrame::SetTitle(const QString& title) {
  title_ = title;
  update();
}

void GroupFrame::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const int top = metrics.height() / 2;
  const QRect frame = rect().adjusted(0, top, -2, -2);
  const int textLeft = 6;
  const int textWidth =
      title_.isEmpty() ? 0 : metrics.horizontalAdvance(WithoutMnemonics(title_)) + 4;
  const auto outline = [&](const QColor& colour, int offset) {
    painter.setPen(colour);
    const QRect r = frame.translated(offset, offset);
    painter.drawLine(r.left(), r.top(), r.left() + textLeft - 2, r.top());
    painter.drawLine(r.left() + textLeft + textWidth, r.top(), r.right(), r.top());
    painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
    painter.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
    painter.drawLine(r.left(), r.bottom(), r.left(), r.top());
  };
  outline(palette().color(QPalette::Light), 1);
  outline(palette().color(QPalette::Mid), 0);
  if (!title_.isEmpty()) {
    style()->drawItemText(&painter, QRect(textLeft, 0, textWidth, metrics.height()),
                          Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), title_,
                          QPalette::WindowText);
  }
}

}  // namespace vantora::platform::qt
