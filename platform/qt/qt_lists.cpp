// SPDX-License-Identifier: GPL-3.0-or-later
// Lists and drop lists: their rows follow the runtime's rows, their selection kept across changes.
#include "platform/qt/qt_window_system_impl.h"

namespace vantora::platform::qt {

void QtWindowSystem::Impl::SyncRows(uintptr_t handle, int32_t id) {
  Control* c = FindControl(handle, id);
  if (c == nullptr || !c->model || !c->model->Changed())
    return;
  Quiet quiet(*this);
  const int selected = SelectedRowOf(*c);
  c->model->Reset();
  RestoreSelection(*c, selected);
}

// The runtime changes rows without asking for them to be drawn (a drop appends to a queue): before
// the wait for input, every list whose rows changed is brought up to date and painted, so what
// the screen shows is never older than the rows the user acts on next.
void QtWindowSystem::Impl::DrawChangedRows() {
  for (const auto& [handle, window] : windows_) {
    for (auto& [id, c] : window->controls) {
      if (!c.model || !c.model->Changed())
        continue;
      SyncRows(handle, id);
      QWidget* view = c.list != nullptr   ? c.list->viewport()
                      : c.drop != nullptr ? c.drop->view()->viewport()
                                          : nullptr;
      // An open drop list shows its rows; a closed one only its variable's text.
      if (view != nullptr && view->isVisible())
        view->repaint();
    }
  }
}

int QtWindowSystem::Impl::SelectedRowOf(const Control& c) {
  if (c.list != nullptr) {
    const QModelIndex index = c.list->selectionModel()->currentIndex();
    return index.isValid() ? index.row() + 1 : 0;
  }
  if (c.drop != nullptr)
    return c.drop->currentIndex() + 1;
  return 0;
}

void QtWindowSystem::Impl::RestoreSelection(Control& c, int row) {
  if (!c.model)
    return;
  const bool inRange = row >= 1 && row <= c.model->rowCount();
  if (c.list != nullptr) {
    if (inRange) {
      c.list->selectionModel()->setCurrentIndex(
          c.model->index(row - 1, 0),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
      c.list->selectionModel()->clear();
    }
  } else if (c.drop != nullptr) {
    c.drop->setCurrentIndex(inRange ? row - 1 : -1);
  }
}

bool QtWindowSystem::SetRows(uintptr_t window, int32_t control, const NativeRows* rows) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr || !c->model)
    return false;
  Impl::Quiet quiet(*impl_);
  c->model->SetRows(rows);
  if (c->drop != nullptr)
    c->drop->setCurrentIndex(-1);
  return true;
}

bool QtWindowSystem::SetSelectedRow(uintptr_t window, int32_t control, int32_t row) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr || !c->model)
    return false;
  impl_->SyncRows(window, control);
  Impl::Quiet quiet(*impl_);
  Impl::RestoreSelection(*c, row);
  if (c->list != nullptr && row >= 1 && row <= c->model->rowCount()) {
    c->list->scrollTo(c->model->index(row - 1, 0));
  }
  return true;
}

int32_t QtWindowSystem::SelectedRow(uintptr_t window, int32_t control) const {
  // Rows that went since the list last drew take their highlight with them.
  impl_->SyncRows(window, control);
  const Impl::Control* c = impl_->FindControl(window, control);
  return c == nullptr ? 0 : Impl::SelectedRowOf(*c);
}

bool QtWindowSystem::RefreshRows(uintptr_t window, int32_t control) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr || !c->model)
    return false;
  // The window's display after each event asks for every list: rows that did not change since
  // they were last drawn need no drawing again.
  if (!c->model->Changed())
    return true;
  impl_->SyncRows(window, control);
  if (c->widget)
    c->widget->update();
  if (c->list != nullptr)
    c->list->viewport()->update();
  return true;
}

}  // namespace vantora::platform::qt
