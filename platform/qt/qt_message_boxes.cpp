// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes: modal ones, the notice that waits for nobody, and the fatal error.
#include "platform/qt/qt_window_system_impl.h"

#include <QPushButton>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_text.h"

namespace vantora::platform::qt {

namespace {

// Gives the box the caption, lines, icon and buttons it is described with; the buttons in order.
std::vector<QPushButton*> Describe(QMessageBox& box, const MessageBoxSpec& spec) {
  box.setWindowTitle(FromAnsi(spec.caption));
  QStringList lines;
  for (const std::string& line : spec.lines)
    lines.append(FromAnsi(line));
  box.setText(lines.join(QLatin1Char('\n')));
  box.setTextFormat(Qt::PlainText);
  if (!spec.icon.empty()) {
    const IconSource source = ParseIconName(spec.icon);
    const auto stock =
        source.kind == IconSource::Kind::Stock ? StockPixmap(source.id) : std::nullopt;
    if (stock == QStyle::SP_MessageBoxQuestion) {
      box.setIcon(QMessageBox::Question);
    } else if (stock == QStyle::SP_MessageBoxWarning) {
      box.setIcon(QMessageBox::Warning);
    } else if (stock == QStyle::SP_MessageBoxCritical) {
      box.setIcon(QMessageBox::Critical);
    } else if (stock == QStyle::SP_MessageBoxInformation) {
      box.setIcon(QMessageBox::Information);
    } else if (const QIcon icon = LoadIcon(spec.icon); !icon.isNull()) {
      box.setIconPixmap(icon.pixmap(32, 32));
    }
  }
  std::vector<QPushButton*> buttons;
  std::vector<std::string> labels = spec.buttons;
  if (labels.empty())
    labels.emplace_back("OK");
  for (const std::string& label : labels) {
    // One role for all keeps the buttons in the order given.
    buttons.push_back(box.addButton(FromAnsi(label), QMessageBox::ActionRole));
  }
  if (spec.defaultButton >= 0 && static_cast<size_t>(spec.defaultButton) < buttons.size()) {
    box.setDefaultButton(buttons[static_cast<size_t>(spec.defaultButton)]);
  }
  return buttons;
}

}  // namespace

int32_t QtWindowSystem::MessageBox(uintptr_t owner, const MessageBoxSpec& spec) {
  const Impl::Window* w = impl_->Find(owner);
  QMessageBox box(w != nullptr ? w->top.get() : nullptr);
  const std::vector<QPushButton*> buttons = Describe(box, spec);
  if (spec.systemModal) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  } else {
    box.setWindowModality(w != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  }
  box.exec();
  const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return it == buttons.end() ? -1 : static_cast<int32_t>(it - buttons.begin());
}

void QtWindowSystem::ShowNotice(uintptr_t owner, const MessageBoxSpec& spec) {
  // A window of its own, owned here rather than by a window the runtime may destroy first;
  // placed over its owner as a child box would be.
  auto box = std::make_unique<QMessageBox>();
  Describe(*box, spec);
  box->setWindowModality(Qt::NonModal);
  box->adjustSize();
  if (const Impl::Window* w = impl_->Find(owner); w != nullptr) {
    box->move(w->top->frameGeometry().center() - box->rect().center());
  }
  box->show();
  impl_->notice_ = std::move(box);
}

void ShowFatalMessage(std::string_view caption, std::string_view message) {
  std::unique_ptr<QApplication> app;
  static int argc = 1;
  static char name[] = "vantora";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr)
    app = std::make_unique<QApplication>(argc, argv);
  QMessageBox box;
  box.setWindowTitle(FromAnsi(caption));
  box.setText(FromAnsi(message));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(QMessageBox::Critical);
  box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

}  // namespace vantora::platform::qt
