// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging rows out of a list and dropping them on a control that takes them, and the rows
// under the mouse.
#include "platform/qt/qt_window_system_impl.h"

#include <QCursor>
#include <QMouseEvent>

#include "platform/qt/qt_text.h"

namespace vantora::platform::qt {

bool QtWindowSystem::Impl::Mouse(QObject* object, QMouseEvent* event) {
  const QVariant windowProperty = object->property("vantoraWindow");
  const auto handle = static_cast<uintptr_t>(windowProperty.toULongLong());
  const int32_t id = object->property("vantoraControl").toInt();
  const bool tagged = windowProperty.isValid();
  const bool list = tagged && object->property("vantoraList").toBool();
  const QPoint global = event->globalPosition().toPoint();
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
    lastKey_ = 0;
    if (tagged && object->property("vantoraRegion").toBool()) {
      Report({NativeInput::Type::Activated, handle, id});
      return true;
    }
    if (list) {
      ReportMouseRow(handle, NativeInput::Mouse::Pressed, global);
    }
    if (list && event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton) {
      const Control* c = FindControl(handle, id);
      if (c != nullptr && !c->spec.dragIds.empty()) {
        drag_ = Drag{handle, id, event->globalPosition().toPoint(), false};
      }
    }
    return false;
  }
  if (event->type() == QEvent::MouseMove) {
    // While a drag goes on the source list has the mouse; the list under the pointer counts.
    if (drag_ && drag_->active) {
      ReportMouseRow(drag_->window, NativeInput::Mouse::Moved, global);
    } else if (list) {
      ReportMouseRow(handle, NativeInput::Mouse::Moved, global);
    }
  } else if (tagged) {
    ReportMouseRow(handle, NativeInput::Mouse::Released, global);
  }
  if (!drag_)
    return false;
  if (event->type() == QEvent::MouseMove) {
    if (!drag_->active && (event->globalPosition().toPoint() - drag_->start).manhattanLength() >=
                              QApplication::startDragDistance()) {
      drag_->active = true;
      QApplication::setOverrideCursor(Qt::DragMoveCursor);
    }
    // A drag does not drag the source list's selection along.
    return drag_->active;
  }
  // Release.
  const Drag drag = *drag_;
  drag_.reset();
  if (!drag.active)
    return false;
  QApplication::restoreOverrideCursor();
  Drop(drag, event->globalPosition().toPoint());
  return false;
}

int32_t QtWindowSystem::Impl::RowAt(const Control& c, QPoint global) {
  const QModelIndex index = c.list->indexAt(c.list->viewport()->mapFromGlobal(global));
  return index.isValid() ? index.row() + 1 : 0;
}

// The topmost shown list of the window under the point; nullptr when there is none.
const QtWindowSystem::Impl::Control* QtWindowSystem::Impl::ListAt(uintptr_t handle,
                                                                  QPoint global) const {
  const Window* w = Find(handle);
  if (w == nullptr)
    return nullptr;
  for (auto it = w->order.rbegin(); it != w->order.rend(); ++it) {
    const Control& c = w->controls.at(*it);
    if (c.list != nullptr && c.list->isVisible() &&
        c.list->viewport()->rect().contains(c.list->viewport()->mapFromGlobal(global))) {
      return &c;
    }
  }
  return nullptr;
}

// The row under the pointer for a list's mouse rows; a move only when it is another row.
void QtWindowSystem::Impl::ReportMouseRow(uintptr_t handle, NativeInput::Mouse mouse,
                                          QPoint global) {
  const Control* c = ListAt(handle, global);
  if (c == nullptr)
    return;
  NativeInput input{NativeInput::Type::MouseRow, handle, c->spec.id};
  input.row = RowAt(*c, global);
  input.mouse = mouse;
  if (mouse == NativeInput::Mouse::Moved) {
    const MovedRow moved{handle, c->spec.id, input.row};
    if (moved == lastMoved_)
      return;
    lastMoved_ = moved;
  }
  Report(input);
}

// The topmost shown and enabled control under the point that takes drops decides; its drop-ids
// must name one of the source's drag-ids, in any letter case.
void QtWindowSystem::Impl::Drop(const Drag& drag, QPoint global) {
  Window* w = Find(drag.window);
  const Control* source = FindControl(drag.window, drag.source);
  if (w == nullptr || source == nullptr)
    return;
  const Control* target = nullptr;
  for (const bool regions : {false, true}) {
    for (auto it = w->order.rbegin(); it != w->order.rend() && target == nullptr; ++it) {
      const Control& c = w->controls[*it];
      if (c.spec.dropIds.empty() || !c.widget || !c.widget->isVisible() || !c.widget->isEnabled() ||
          (c.spec.kind == NativeKind::Region) != regions) {
        continue;
      }
      if (c.widget->rect().contains(c.widget->mapFromGlobal(global)))
        target = &c;
    }
  }
  if (target == nullptr)
    return;
  bool accepted = false;
  for (const std::string& dragId : source->spec.dragIds) {
    for (const std::string& dropId : target->spec.dropIds) {
      accepted = accepted || EqualsIgnoringCase(dragId, dropId);
    }
  }
  if (!accepted)
    return;
  const int32_t row = target->list != nullptr ? RowAt(*target, global) : 0;
  Report({NativeInput::Type::Dropped, drag.window, drag.source, target->spec.id, row});
}

}  // namespace vantora::platform::qt
