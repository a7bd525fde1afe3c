// SPDX-License-Identifier: GPL-3.0-or-later
// Input: keys and the mouse as the runtime sees them, and waiting for them.
#include "platform/qt/qt_window_system_impl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>

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

}  // namespace

bool QtWindowSystem::Impl::Watch(QObject* object, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      return Mouse(object, static_cast<QMouseEvent*>(event));
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
      // Input reported while a key is handled is that key's; a shortcut is seen only here.
      const auto* key = static_cast<QKeyEvent*>(event);
      lastKey_ = KeyCode(key->key(), key->modifiers());
      return event->type() == QEvent::KeyPress && Key(object, static_cast<QKeyEvent*>(event));
    }
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
  const QVariant windowProperty = object->property("vantoraWindow");
  if (!windowProperty.isValid())
    return false;
  const auto handle = static_cast<uintptr_t>(windowProperty.toULongLong());
  const int32_t id = object->property("vantoraControl").toInt();
  const Control* c = FindControl(handle, id);
  if (c == nullptr || c->spec.alertKeys.empty() || c->widget != object)
    return false;
  const uint32_t code = KeyCode(event->key(), event->modifiers());
  if (code == 0 || std::find(c->spec.alertKeys.begin(), c->spec.alertKeys.end(), code) ==
                       c->spec.alertKeys.end()) {
    return false;
  }
  // An edit made before the key counts, as the runtime reads the entry on the alert.
  if (auto* entry = qobject_cast<QLineEdit*>(c->widget.data()); entry && entry->isModified()) {
    entry->setModified(false);
    Report({NativeInput::Type::EntryChanged, handle, id});
  }
  NativeInput input{NativeInput::Type::AlertKey, handle, id};
  input.key = code;
  Report(input);
  return true;
}

void QtWindowSystem::Impl::Report(NativeInput input) {
  if (quiet_ > 0) {
    return;
  }
  switch (input.type) {
    case NativeInput::Type::Activated:
    case NativeInput::Type::EntryChanged:
    case NativeInput::Type::RowPicked:
    case NativeInput::Type::RowSelected:
    case NativeInput::Type::Dropped:
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

void QtWindowSystem::Impl::Wait(ClockTime deadline) {
  DrawChangedRows();
  QTimer timer;
  timer.setSingleShot(true);
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
