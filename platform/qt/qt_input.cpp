// SPDX-License-Identifier: GPL-3.0-or-later
// Input: keys and the mouse as the runtime sees them, and waiting for them.
#include "platform/qt/qt_window_system_impl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "platform/qt/qt_text.h"

namespace vantora::platform::qt {

namespace {

// Qt key and modifiers to the platform's key code; 0 for keys without one.
uint32_t KeyCode(int key, Qt::KeyboardModifiers modifiers) {
  uint32_t code = 0;
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    code = static_cast<uint32_t>(key);
  } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    code = 0x70 + static_cast<uint32_t>(key - Qt::Key_F1);
  } else {
    switch (key) {
      case Qt::Key_Backspace:
        code = 0x08;
        break;
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        code = 0x09;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        code = 0x0D;
        break;
      case Qt::Key_Escape:
        code = 0x1B;
        break;
      case Qt::Key_Space:
        code = 0x20;
        break;
      case Qt::Key_PageUp:
        code = 0x21;
        break;
      case Qt::Key_PageDown:
        code = 0x22;
        break;
      case Qt::Key_End:
        code = 0x23;
        break;
      case Qt::Key_Home:
        code = 0x24;
        break;
      case Qt::Key_Left:
        code = 0x25;
        break;
      case Qt::Key_Up:
        code = 0x26;
        break;
      case Qt::Key_Right:
        code = 0x27;
        break;
      case Qt::Key_Down:
        code = 0x28;
        break;
      case Qt::Key_Insert:
        code = 0x2D;
        break;
      case Qt::Key_Delete:
        code = 0x2E;
        break;
      default:
        return 0;
    }
  }
  if (modifiers & Qt::ShiftModifier)
    code += 0x100;
  if (modifiers & Qt::ControlModifier)
    code += 0x200;
  if (modifiers & Qt::AltModifier)
    code += 0x400;
  return code;
}

// The letter after a label's "&" ("&&" is a plain "&"), upper-cased; null when it has none.
QChar MnemonicOf(const QString& label) {
  for (qsizetype i = 0; i + 1 < label.size(); ++i) {
    if (label[i] == QLatin1Char('&')) {
      if (label[i + 1] != QLatin1Char('&'))
        return label[i + 1].toUpper();
      ++i;
    }
  }
  return {};
}

// The letter or digit that Alt (with or without Shift) goes with; null for any other key.
QChar AltLetter(const QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers =
      event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  const int key = event->key();
  if (modifiers != Qt::AltModifier || key <= 0 || key > 0xFFFF)
    return {};
  const QChar letter = QChar(static_cast<char16_t>(key)).toUpper();
  return letter.isLetterOrNumber() ? letter : QChar();
}

// The control Tab would go to from `from`: the next in the window's tab order that is shown,
// enabled and a tab stop; nullptr when there is none.
QWidget* NextTabStop(QWidget* from) {
  QWidget* top = from->window();
  for (QWidget* next = from->nextInFocusChain(); next != nullptr && next != from;
       next = next->nextInFocusChain()) {
    if (next->window() == top && (next->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
        next->focusProxy() == nullptr && next->isVisibleTo(top) && next->isEnabled()) {
      return next;
    }
  }
  return nullptr;
}

bool Reachable(const QWidget* widget, const QWidget* top) {
  return widget != nullptr && widget->isVisibleTo(top) && widget->isEnabled();
}

}  // namespace

bool QtWindowSystem::Impl::Watch(QObject* object, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      return Mouse(object, static_cast<QMouseEvent*>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return FileDrag(object, event);
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
      // Input reported while a key is handled is that key's; a shortcut is seen only here.
      auto* key = static_cast<QKeyEvent*>(event);
      lastKey_ = KeyCode(key->key(), key->modifiers());
      if (event->type() == QEvent::KeyPress)
        return Key(object, key);
      // A mnemonic of the window's controls is the window's to handle, not Qt's shortcuts' (which
      // know no groups and press the first of two buttons that share a letter): it comes back as
      // a key press.
      if (const Window* w = WindowOf(object); w != nullptr && !MnemonicMatches(*w, key).empty()) {
        key->accept();
        return true;
      }
      return false;
    }
    case QEvent::Show:
      if (Window* w = WindowOf(object); w != nullptr && object == w->top.get())
        FocusFirst(*w);
      return false;
    case QEvent::FocusIn:
      if (Window* w = WindowOf(object))
        ShowDefault(*w);
      return false;
    case QEvent::FocusOut:
      // An entry that loses the focus to the mouse or to the program reports its edit keyless.
      switch (static_cast<QFocusEvent*>(event)->reason()) {
        case Qt::MouseFocusReason:
        case Qt::OtherFocusReason:
        case Qt::ActiveWindowFocusReason:
          lastKey_ = 0;
          break;
        default:
          break;
      }
      return false;
    case QEvent::Paint:
      if (object->property("vantoraList").toBool()) {
        SyncRows(object->property("vantoraWindow").toULongLong(),
                 object->property("vantoraControl").toInt());
      }
      return false;
    default:
      return false;
  }
}

bool QtWindowSystem::Impl::Key(QObject* object, QKeyEvent* event) {
  Window* w = WindowOf(object);
  if (w == nullptr)
    return false;
  const int32_t id = object->property("vantoraControl").toInt();
  const Control* c = FindControl(w->handle, id);
  if (c != nullptr && !c->spec.alertKeys.empty() && c->widget == object) {
    const uint32_t code = KeyCode(event->key(), event->modifiers());
    if (code != 0 && std::find(c->spec.alertKeys.begin(), c->spec.alertKeys.end(), code) !=
                         c->spec.alertKeys.end()) {
      NativeInput input{NativeInput::Type::AlertKey, w->handle, id};
      input.key = code;
      Report(input);
      return true;
    }
  }
  if (Mnemonic(*w, event) || DialogKey(*w, event))
    return true;
  // An Alt+letter that names no control does nothing, as in the platform's dialogs; an entry
  // would take it for typing.
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  return (modifiers & Qt::AltModifier) && !(modifiers & (Qt::ControlModifier | Qt::MetaModifier)) &&
         !event->text().isEmpty() && event->text().front().isPrint();
}

QtWindowSystem::Impl::Window* QtWindowSystem::Impl::WindowOf(const QObject* object) const {
  const auto* widget = qobject_cast<const QWidget*>(object);
  if (widget == nullptr)
    return nullptr;
  const QWidget* top = widget->window();
  for (const auto& [handle, window] : windows_) {
    if (window->top.get() == top)
      return window.get();
  }
  return nullptr;
}

// Buttons, groups and prompts whose label has the letter pressed with Alt, in definition order;
// a group or prompt counts when there is a control after it to take the focus.
std::vector<int32_t> QtWindowSystem::Impl::MnemonicMatches(const Window& w,
                                                           const QKeyEvent* event) const {
  std::vector<int32_t> matches;
  const QChar letter = AltLetter(event);
  if (letter.isNull())
    return matches;
  for (const int32_t id : w.order) {
    const Control& c = w.controls.at(id);
    const NativeKind kind = c.spec.kind;
    if ((kind != NativeKind::Button && kind != NativeKind::Group && kind != NativeKind::Prompt) ||
        !Reachable(c.widget, w.top.get()) || MnemonicOf(FromAnsi(c.spec.text)) != letter) {
      continue;
    }
    if (kind == NativeKind::Button || NextTabStop(c.widget) != nullptr)
      matches.push_back(id);
  }
  return matches;
}

// As the platform's dialogs do it: a button that alone has the letter is pressed; a group or
// prompt gives the focus to the control after it; where several share the letter, each press
// moves the focus to the next of them after the focused control.
bool QtWindowSystem::Impl::Mnemonic(Window& w, const QKeyEvent* event) {
  const std::vector<int32_t> matches = MnemonicMatches(w, event);
  if (matches.empty())
    return false;
  if (matches.size() == 1) {
    if (auto* button = qobject_cast<QPushButton*>(w.controls[matches[0]].widget.data())) {
      button->click();
      return true;
    }
  }
  const auto position = [&w](int32_t id) {
    return std::find(w.order.begin(), w.order.end(), id) - w.order.begin();
  };
  auto focused = std::ptrdiff_t{-1};
  if (const QWidget* focus = w.top->focusWidget()) {
    for (const auto& [id, c] : w.controls) {
      if (c.widget && (c.widget == focus || c.widget->isAncestorOf(focus)))
        focused = std::max(focused, position(id));
    }
  }
  int32_t next = matches.front();
  for (const int32_t id : matches) {
    if (position(id) > focused) {
      next = id;
      break;
    }
  }
  QWidget* widget = w.controls[next].widget;
  QWidget* target = w.controls[next].spec.kind == NativeKind::Button ? widget : NextTabStop(widget);
  if (target != nullptr) {
    w.top->setAttribute(Qt::WA_KeyboardFocusChange);
    target->setFocus(Qt::ShortcutFocusReason);
  }
  return true;
}

// Enter presses the focused button, else the window's default one; Escape presses the cancel
// button, or closes a window that has a default button and no cancel one.
bool QtWindowSystem::Impl::DialogKey(Window& w, const QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
    return false;
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter && event->key() != Qt::Key_Escape)
    return false;
  if (auto* focused = qobject_cast<QPushButton*>(w.top->focusWidget()); enter && focused) {
    focused->click();
    return true;
  }
  const Control* defaultButton = nullptr;
  const Control* cancelButton = nullptr;
  for (const int32_t id : w.order) {
    const Control& c = w.controls.at(id);
    if (c.spec.defaultButton && defaultButton == nullptr)
      defaultButton = &c;
    if (c.spec.cancelButton && cancelButton == nullptr)
      cancelButton = &c;
  }
  const Control* pressed = enter ? defaultButton : cancelButton;
  if (pressed != nullptr) {
    if (auto* button = qobject_cast<QPushButton*>(pressed->widget.data());
        button != nullptr && Reachable(button, w.top.get())) {
      button->click();
    }
    return true;
  }
  if (!enter && defaultButton != nullptr) {
    Report({NativeInput::Type::CloseRequested, w.handle});
    return true;
  }
  return false;
}

// In a window with a default button, a focused button is the one Enter presses, and looks it.
void QtWindowSystem::Impl::ShowDefault(Window& w) {
  const auto* focused = qobject_cast<QPushButton*>(w.top->focusWidget());
  const bool dialog = std::any_of(w.controls.begin(), w.controls.end(),
                                  [](const auto& c) { return c.second.spec.defaultButton; });
  for (auto& [id, c] : w.controls) {
    auto* button = qobject_cast<QPushButton*>(c.widget.data());
    if (dialog && button != nullptr)
      button->setDefault(focused != nullptr ? button == focused : c.spec.defaultButton);
  }
}

// The first control in the tab order has the focus when a window opens.
void QtWindowSystem::Impl::FocusFirst(Window& w) {
  if (w.top->focusWidget() != nullptr)
    return;
  if (QWidget* first = NextTabStop(w.top.get()))
    first->setFocus(Qt::TabFocusReason);
}

void QtWindowSystem::Impl::Report(NativeInput input) {
  if (quiet_ > 0) {
    return;
  }
  switch (input.type) {
    case NativeInput::Type::Activated:
    case NativeInput::Type::RowPicked:
    case NativeInput::Type::RowSelected:
    case NativeInput::Type::Dropped:
      input.key = lastKey_;
      ReportEdits(input.window);
      break;
    case NativeInput::Type::AlertKey:
      ReportEdits(input.window);
      break;
    case NativeInput::Type::EntryChanged:
      input.key = lastKey_;
      break;
    default:
      break;
  }
  pending_.push_back(input);
  if (waitLoop_ != nullptr) {
    waitLoop_->quit();
  }
}

// A button pressed by its mnemonic or by Enter leaves the focus in the entry, which would report
// its edit only when it loses the focus: after the button had acted on the old value.
void QtWindowSystem::Impl::ReportEdits(uintptr_t handle) {
  const Window* w = Find(handle);
  if (w == nullptr)
    return;
  for (const int32_t id : w->order) {
    auto* entry = qobject_cast<QLineEdit*>(w->controls.at(id).widget.data());
    if (entry != nullptr && entry->isModified()) {
      entry->setModified(false);
      NativeInput edit{NativeInput::Type::EntryChanged, handle, id};
      edit.key = lastKey_;
      pending_.push_back(edit);
    }
  }
}

void QtWindowSystem::Impl::Wait(ClockTime deadline) {
  DrawChangedRows();
  QTimer timer;
  timer.setSingleShot(true);
  // A tick is due to the millisecond: a coarse timer may wake as much as 5% of the wait late.
  timer.setTimerType(Qt::PreciseTimer);
  while (pending_.empty() && !woken_) {
    const ClockTime left = deadline - CurrentClock().Now();
    if (left.count() <= 0)
      break;
    QEventLoop loop;
    waitLoop_ = &loop;
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A clock that moves only when told to is looked at again every few milliseconds.
    const bool manual = dynamic_cast<const ManualClock*>(&CurrentClock()) != nullptr;
    timer.start(static_cast<int>(std::min<int64_t>(left.count(), manual ? 10 : 60'000)));
    loop.exec(QEventLoop::WaitForMoreEvents);
    timer.stop();
    QObject::disconnect(&timer, nullptr, &loop, nullptr);
    waitLoop_ = nullptr;
  }
  woken_ = false;
  // Deliver what arrived; the sink may act on windows, so take the queue first.
  std::deque<NativeInput> inputs;
  inputs.swap(pending_);
  for (const NativeInput& input : inputs) {
    if (sink_)
      sink_(input);
  }
}

void QtWindowSystem::SetInputSink(NativeInputSink sink) {
  impl_->sink_ = std::move(sink);
}

void QtWindowSystem::WaitForInput(ClockTime deadline) {
  impl_->Wait(deadline);
}

void QtWindowSystem::Wake() {
  impl_->woken_ = true;
  if (impl_->waitLoop_ != nullptr) {
    impl_->waitLoop_->quit();
  }
}

}  // namespace vantora::platform::qt
