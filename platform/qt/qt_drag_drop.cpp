// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging rows out of a list and dropping them on a control that takes them, the rows under
// the mouse, and files dropped from other programs.
#include "platform/qt/qt_window_system_impl.h"

#include <QCursor>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

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

namespace {

// The local files among a drag's URLs, in its order; other URLs are passed over.
std::vector<std::filesystem::path> LocalFiles(const QMimeData* data) {
  std::vector<std::filesystem::path> files;
  if (data == nullptr || !data->hasUrls())
    return files;
  for (const QUrl& url : data->urls()) {
    const QString file = url.isLocalFile() ? url.toLocalFile() : QString();
    if (!file.isEmpty())
      files.emplace_back(QFile::encodeName(file).toStdString());
  }
  return files;
}

}  // namespace

// Files come only to windows without an owner. Qt offers a drag to the control under the pointer
// when it takes drops itself (an entry takes text), else to the window: this filter sees it
// first either way, so a drop on any control of the window is the window's.
bool QtWindowSystem::Impl::FileDrag(QObject* object, QEvent* event) {
  const Window* w = WindowOf(object);
  if (w == nullptr || w->owner != 0 || !fileDrop_)
    return false;
  auto* drop = static_cast<QDropEvent*>(event);
  std::vector<std::filesystem::path> files = LocalFiles(drop->mimeData());
  if (files.empty())
    return false;
  // A disc changed behind an open dialog would pull the ground from under it.
  if (QApplication::activeModalWidget() != nullptr) {
    drop->ignore();
    return true;
  }
  if (drop->possibleActions().testFlag(Qt::CopyAction)) {
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
  } else {
    drop->acceptProposedAction();
  }
  if (event->type() != QEvent::Drop)
    return true;
  // After the drop has ended: the source waits for the answer while the handler may take long.
  QTimer::singleShot(0, filter_.get(), [this, handle = w->handle, files = std::move(files)] {
    if (fileDrop_ && Find(handle) != nullptr) {
      fileDrop_(handle, files);
      woken_ = true;
      if (waitLoop_ != nullptr)
        waitLoop_->quit();
    }
  });
  return true;
}

void QtWindowSystem::Impl::TakeFileDrops(Window& w) const {
  if (w.owner == 0)
    w.top->setAcceptDrops(static_cast<bool>(fileDrop_));
}

void QtWindowSystem::SetFileDropHandler(FileDropHandler handler) {
  impl_->fileDrop_ = std::move(handler);
  for (auto& [handle, window] : impl_->windows_)
    impl_->TakeFileDrops(*window);
}

}  // namespace vantora::platform::qt
