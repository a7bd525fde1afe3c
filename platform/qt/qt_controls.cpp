// SPDX-License-Identifier: GPL-3.0-or-later
// Controls by kind: building them from their descriptions, their look, texts and states.
#include "platform/qt/qt_window_system_impl.h"

#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <algorithm>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_text.h"

namespace vantora::platform::qt {

void QtWindowSystem::Impl::ApplyLook(const Window& w, Control& c, QWidget* widget) {
  QFont font = w.font;
  if (c.spec.font) {
    font = MakeFont(*c.spec.font, &w.font);
  }
  widget->setFont(font);
  QPalette palette = widget->palette();
  uint32_t text = c.spec.font ? c.spec.font->colour : kDefaultColour;
  if (!c.spec.colours.empty() && c.spec.colours[0] != kDefaultColour)
    text = c.spec.colours[0];
  if (text != kDefaultColour) {
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
      palette.setColor(role, ToColour(text));
    }
  }
  uint32_t background = kDefaultColour;
  if (c.spec.colours.size() > 1) {
    background = c.spec.colours[1];
  }
  // Light text with no background of its own would vanish on the light default base; such
  // fields get a dark display background instead, like a player's readout.
  if (background == kDefaultColour && text != kDefaultColour && ToColour(text).lightness() > 110 &&
      (c.spec.kind == NativeKind::TextBox || c.spec.kind == NativeKind::DropList ||
       c.spec.kind == NativeKind::List || c.spec.kind == NativeKind::Entry)) {
    background = 0x00140A00u;  // a deep green-black
  }
  if (background != kDefaultColour) {
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
      palette.setColor(role, ToColour(background));
    }
    widget->setAutoFillBackground(true);
  }
  if (c.spec.colours.size() > 2 && c.spec.colours[2] != kDefaultColour) {
    palette.setColor(QPalette::Highlight, ToColour(c.spec.colours[2]));
  }
  widget->setPalette(palette);
  c.tip = c.spec.tip;
  c.status = c.spec.statusText;
  ApplyTip(c);
}

// The status text has no status bar to go to: it shows under the tip in the tool tip.
void QtWindowSystem::Impl::ApplyTip(Control& c) {
  QString tip = FromAnsi(c.tip);
  if (!c.status.empty() && c.status != c.tip) {
    tip = tip.isEmpty() ? FromAnsi(c.status) : tip + QLatin1Char('\n') + FromAnsi(c.status);
  }
  if (c.widget) {
    c.widget->setToolTip(tip);
    c.widget->setStatusTip(FromAnsi(c.status));
  }
  if (c.action) {
    c.action->setToolTip(tip);
    c.action->setStatusTip(FromAnsi(c.status));
  }
}

void QtWindowSystem::Impl::Tag(QWidget* widget, uintptr_t handle, int32_t id) {
  widget->setProperty("vantoraWindow", QVariant::fromValue<qulonglong>(handle));
  widget->setProperty("vantoraControl", id);
}

// Pixel geometry of a control from its rect, with natural sizes where the rect says default.
QRect QtWindowSystem::Impl::Geometry(const Window& w, const Control& c, QWidget* widget) const {
  const Rect r = c.spec.rect;
  const QSize hint = widget->sizeHint();
  // Nothing left of or above the area it sits on is seen: a text placed there would lose its
  // first letters, so the control starts on the area instead.
  const int x = r.x == kDefault ? 0 : std::max(0, w.scale.ToPixelsX(r.x));
  const int y = r.y == kDefault ? 0 : std::max(0, w.scale.ToPixelsY(r.y));
  int width = r.width == kDefault ? hint.width() : w.scale.ToPixelsX(r.width);
  const int height = r.height == kDefault ? hint.height() : w.scale.ToPixelsY(r.height);
  if (r.width == kDefault && c.spec.kind == NativeKind::Entry) {
    // A default-width entry reaches across its group, keeping the inset it has on the left.
    const auto parent = w.controls.find(c.spec.parent);
    if (parent != w.controls.end() && parent->second.spec.kind == NativeKind::Group &&
        parent->second.widget) {
      const QRect group = parent->second.widget->geometry();
      width = std::max(hint.width() / 2, group.right() + 1 - (x - group.x()) - x);
    } else {
      width = std::max(hint.width(), w.scale.ToPixelsX(100));
    }
  }
  return {x, y, width, height};
}

void QtWindowSystem::Impl::EnsureMenuBar(Window& w) {
  if (w.menuBar == nullptr) {
    w.menuBar = new QMenuBar(w.top.get());
    w.menuBar->setFont(w.font);
    w.top->layout()->setMenuBar(w.menuBar);
  }
}

void QtWindowSystem::Impl::Build(Window& w, const NativeControl& spec) {
  Control& c = w.controls[spec.id];
  c.spec = spec;
  w.order.push_back(spec.id);
  const auto parentIt = w.controls.find(spec.parent);
  Control* parent = parentIt == w.controls.end() ? nullptr : &parentIt->second;
  const QString text = FromAnsi(spec.text);
  QWidget* host = w.body;
  if (parent != nullptr && (parent->spec.kind == NativeKind::Toolbar || parent->toolbarChild)) {
    host = w.toolbar != nullptr ? w.toolbar : w.body;
    c.toolbarChild = true;
  }
  const uintptr_t handle = w.handle;
  const int32_t id = spec.id;

  switch (spec.kind) {
    case NativeKind::MenuBar:
      EnsureMenuBar(w);
      return;
    case NativeKind::Menu: {
      QMenu* menu = nullptr;
      if (parent != nullptr && parent->menu) {
        menu = parent->menu->addMenu(text);
      } else {
        EnsureMenuBar(w);
        menu = w.menuBar->addMenu(text);
      }
      menu->setFont(w.font);
      c.menu = menu;
      c.action = menu->menuAction();
      return;
    }
    case NativeKind::MenuItem: {
      QMenu* menu = parent != nullptr ? parent->menu.data() : nullptr;
      QAction* action = nullptr;
      if (menu != nullptr) {
        action = menu->addAction(text);
      } else {
        EnsureMenuBar(w);
        action = w.menuBar->addAction(text);
      }
      action->setCheckable(spec.checkable);
      action->setChecked(spec.checkable && spec.checked);
      QObject::connect(action, &QAction::triggered, action, [this, handle, id] {
        Report({NativeInput::Type::Activated, handle, id});
      });
      c.action = action;
      c.tip = spec.tip;
      c.status = spec.statusText;
      ApplyTip(c);
      return;
    }
    case NativeKind::Toolbar: {
      auto* toolbar = new QWidget(w.client);
      const int height = spec.rect.height == kDefault ? w.scale.ToPixelsY(23)
                                                      : w.scale.ToPixelsY(spec.rect.height);
      toolbar->setGeometry(0, 0, 1, height);
      SetWallpaper(toolbar, spec.wallpaper);
      w.toolbar = toolbar;
      c.widget = toolbar;
      return;
    }
    case NativeKind::Button: {
      auto* button = new QPushButton(host);
      // A label of blanks is an icon-only button.
      button->setText(text.trimmed().isEmpty() ? QString() : text);
      // Toolbar buttons are in the tab order, but a click leaves the focus where it was.
      if (c.toolbarChild)
        button->setFocusPolicy(Qt::TabFocus);
      button->setDefault(spec.defaultButton);
      QObject::connect(button, &QPushButton::clicked, button, [this, handle, id] {
        Report({NativeInput::Type::Activated, handle, id});
      });
      c.widget = button;
      ApplyLook(w, c, button);
      SetButtonIcon(c, spec.icon);
      break;
    }
    case NativeKind::Group: {
      auto* group = new GroupFrame(text, host);
      // Frames only: presses go to the controls and regions beneath.
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      c.widget = group;
      ApplyLook(w, c, group);
      break;
    }
    case NativeKind::Region: {
      auto* region = new QWidget(host);
      region->setAttribute(Qt::WA_NoSystemBackground);
      region->setProperty("vantoraRegion", true);
      c.widget = region;
      ApplyLook(w, c, region);
      break;
    }
    case NativeKind::Prompt:
    case NativeKind::String: {
      auto* label = new QLabel(host);
      label->setTextFormat(Qt::PlainText);
      label->setText(spec.kind == NativeKind::Prompt ? WithoutMnemonics(text) : text);
      label->setAttribute(Qt::WA_TransparentForMouseEvents);
      c.widget = label;
      ApplyLook(w, c, label);
      break;
    }
    case NativeKind::Entry: {
      auto* entry = new QLineEdit(host);
      if (spec.maxLength > 0) {
        // The field's width counts characters; Qt's limit counts UTF-16 units.
        entry->setMaxLength(2 * spec.maxLength);
        entry->setValidator(new CharacterLimit(spec.maxLength, entry));
      }
      entry->setText(text);
      entry->setCursorPosition(0);
      QObject::connect(entry, &QLineEdit::editingFinished, entry, [this, entry, handle, id] {
        if (entry->isModified()) {
          entry->setModified(false);
          Report({NativeInput::Type::EntryChanged, handle, id});
        }
      });
      c.widget = entry;
      ApplyLook(w, c, entry);
      break;
    }
    case NativeKind::TextBox: {
      auto* box = new QPlainTextEdit(host);
      box->setReadOnly(true);
      // It shows no caret or focus: as a tab stop it would swallow a press of Tab unseen.
      box->setFocusPolicy(Qt::NoFocus);
      box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      box->document()->setDocumentMargin(1);
      box->setPlainText(text);
      c.widget = box;
      ApplyLook(w, c, box);
      break;
    }
    case NativeKind::List:
    case NativeKind::DropList: {
      std::vector<Qt::Alignment> alignments;
      for (const char a : spec.columnAlignments) {
        alignments.push_back(a == 'R' || a == 'D' ? Qt::AlignRight
                             : a == 'C'           ? Qt::AlignHCenter
                                                  : Qt::AlignLeft);
      }
      if (spec.kind == NativeKind::List) {
        auto* list = new QTreeView(host);
        auto* model = new RowsModel(std::move(alignments), list);
        list->setModel(model);
        list->setRootIsDecorated(false);
        list->setHeaderHidden(true);
        list->setUniformRowHeights(true);
        list->setItemsExpandable(false);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->header()->setStretchLastSection(true);
        for (size_t i = 0; i < spec.columnWidths.size(); ++i) {
          list->setColumnWidth(static_cast<int>(i), w.scale.ToPixelsX(spec.columnWidths[i]));
        }
        QObject::connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, list,
                         [this, handle, id](const QModelIndex& current) {
                           Report({NativeInput::Type::RowSelected, handle, id, 0,
                                   current.isValid() ? current.row() + 1 : 0});
                         });
        Tag(list->viewport(), handle, id);
        list->viewport()->setProperty("vantoraList", true);
        // The row under a pointer that moves without a button held counts too.
        list->viewport()->setMouseTracking(true);
        c.list = list;
        c.model = model;
        c.widget = list;
        ApplyLook(w, c, list);
      } else {
        auto* drop = new DropListBox(host);
        auto* model = new RowsModel(std::move(alignments), drop);
        drop->setModel(model);
        drop->setMaxVisibleItems(std::max(1, spec.dropRows));
        drop->shown = text;
        drop->beforeShow = [this, handle, id] { SyncRows(handle, id); };
        QObject::connect(drop, &QComboBox::activated, drop, [this, drop, handle, id](int row) {
          if (const Control* control = FindControl(handle, id); control && control->model) {
            drop->shown = FromAnsi(control->model->Cell(row, 0)).trimmed();
          }
          drop->update();
          Report({NativeInput::Type::RowPicked, handle, id, 0, row + 1});
        });
        c.drop = drop;
        c.model = model;
        c.widget = drop;
        ApplyLook(w, c, drop);
      }
      break;
    }
    case NativeKind::Sheet: {
      auto* sheet = new QTabWidget(host);
      // Its tabs are a tab stop only once there is more than one to choose from.
      sheet->tabBar()->setFocusPolicy(Qt::NoFocus);
      QObject::connect(sheet, &QTabWidget::currentChanged, sheet, [this, handle] {
        if (Window* window = Find(handle))
          UpdateVisibility(*window);
      });
      c.widget = sheet;
      ApplyLook(w, c, sheet);
      break;
    }
    case NativeKind::Tab: {
      if (parent == nullptr || parent->spec.kind != NativeKind::Sheet || !parent->widget) {
        return;
      }
      auto* sheet = static_cast<QTabWidget*>(parent->widget.data());
      auto* page = new QWidget();
      sheet->addTab(page, text);
      if (sheet->count() > 1)
        sheet->tabBar()->setFocusPolicy(Qt::TabFocus);
      c.sheet = sheet;
      c.widget = page;
      Tag(page, handle, id);
      return;
    }
  }
  if (c.widget) {
    Tag(c.widget, handle, id);
    c.widget->setGeometry(Geometry(w, c, c.widget));
  }
}

// Bottom to top: regions, then frames (groups and sheets), then the rest in definition order.
void QtWindowSystem::Impl::Stack(Window& w) {
  for (auto rank : {2, 1}) {
    for (auto it = w.order.rbegin(); it != w.order.rend(); ++it) {
      Control& c = w.controls[*it];
      const int controlRank =
          c.spec.kind == NativeKind::Region                                        ? 1
          : (c.spec.kind == NativeKind::Group || c.spec.kind == NativeKind::Sheet) ? 2
                                                                                   : 0;
      if (controlRank == rank && c.widget)
        c.widget->lower();
    }
  }
}

void QtWindowSystem::Impl::SetButtonIcon(Control& c, std::string_view name) {
  auto* button = qobject_cast<QPushButton*>(c.widget.data());
  if (button == nullptr)
    return;
  c.spec.icon = std::string(name);
  const QIcon icon = name.empty() ? QIcon() : LoadIcon(name);
  button->setIcon(icon);
  const QSize size = button->size();
  const int side = std::clamp(std::min(size.width(), size.height()) - 6, 8, 16);
  button->setIconSize(QSize(side, side));
}

// Shown when its own flag, its parents' flags and its tab (if any) allow it.
bool QtWindowSystem::Impl::EffectiveVisible(const Window& w, const Control& c) const {
  const Control* current = &c;
  for (int depth = 0; current != nullptr && depth < 64; ++depth) {
    if (current->hidden)
      return false;
    const auto parent = w.controls.find(current->spec.parent);
    if (parent == w.controls.end())
      break;
    if (parent->second.spec.kind == NativeKind::Tab && parent->second.sheet != nullptr &&
        parent->second.sheet->currentWidget() != parent->second.widget) {
      return false;
    }
    current = &parent->second;
  }
  return true;
}

void QtWindowSystem::Impl::UpdateVisibility(Window& w) {
  for (const int32_t id : w.order) {
    Control& c = w.controls[id];
    const bool visible = EffectiveVisible(w, c);
    if (c.spec.kind == NativeKind::Tab) {
      if (c.sheet != nullptr) {
        const int index = c.sheet->indexOf(c.widget);
        if (index >= 0)
          c.sheet->setTabVisible(index, !c.hidden);
      }
    } else if (c.action) {
      c.action->setVisible(visible);
    } else if (c.widget) {
      c.widget->setVisible(visible);
    }
  }
}

bool QtWindowSystem::SetText(uintptr_t window, int32_t control, std::string_view text) {
  if (control == 0)
    return SetWindowTitle(window, text);
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
  QWidget* widget = c->widget.data();
  // A text shown as given, set again unchanged (the window's display after each event sets them
  // all), is neither laid out nor drawn again. Entries and drop lists compare what they show.
  const bool showsAsGiven = qobject_cast<QLineEdit*>(widget) == nullptr &&
                            qobject_cast<QPlainTextEdit*>(widget) == nullptr && c->drop == nullptr;
  if (showsAsGiven && c->spec.text == text)
    return true;
  Impl::Quiet quiet(*impl_);
  const QString value = FromAnsi(text);
  c->spec.text = std::string(text);
  if (c->spec.kind == NativeKind::Tab) {
    if (c->sheet != nullptr)
      c->sheet->setTabText(c->sheet->indexOf(c->widget), value);
    return true;
  }
  if (c->menu) {
    c->menu->setTitle(value);
    return true;
  }
  if (c->action) {
    c->action->setText(value);
    return true;
  }
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(value.trimmed().isEmpty() ? QString() : value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(c->spec.kind == NativeKind::Prompt ? WithoutMnemonics(value) : value);
  } else if (auto* entry = qobject_cast<QLineEdit*>(widget)) {
    // A new value shows from its start, as a long one is read; the same value again (a refresh
    // while the user types) leaves the cursor where the user put it.
    if (entry->text() != value) {
      entry->setText(value);
      entry->setCursorPosition(0);
    }
    entry->setModified(false);
  } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
    // The same text again would be laid out and drawn anew, and the user's place in it lost.
    if (box->toPlainText() != value)
      box->setPlainText(value);
  } else if (c->spec.kind == NativeKind::Group) {
    static_cast<GroupFrame*>(widget)->SetTitle(value);
  } else if (c->drop != nullptr) {
    // The variable's text is shown; the row holding the same text becomes the current one. A
    // current row that holds it stays: rows may repeat a text, and the user chose this one.
    const bool rowsChanged = c->model && c->model->Changed();
    impl_->SyncRows(window, control);
    const bool textChanged = c->drop->shown != value.trimmed();
    c->drop->shown = value.trimmed();
    auto holds = [c](int row) {
      return c->model && row >= 0 && row < c->model->rowCount() &&
             FromAnsi(c->model->Cell(row, 0)).trimmed() == c->drop->shown;
    };
    int match = c->drop->currentIndex();
    if (!holds(match)) {
      match = -1;
      for (int row = 0; match < 0 && c->model && row < c->model->rowCount(); ++row) {
        match = holds(row) ? row : -1;
      }
    }
    c->drop->setCurrentIndex(match);  // drawn again by the drop itself when the row moves
    if (rowsChanged || textChanged)
      c->drop->update();
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> QtWindowSystem::Text(uintptr_t window, int32_t control) const {
  if (control == 0) {
    const Impl::Window* w = impl_->Find(window);
    if (w == nullptr)
      return std::nullopt;
    return ToAnsi(w->top->windowTitle());
  }
  const Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return std::nullopt;
  QWidget* widget = c->widget.data();
  if (auto* entry = qobject_cast<QLineEdit*>(widget))
    return ToAnsi(entry->text());
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget))
    return ToAnsi(box->toPlainText());
  if (c->drop != nullptr)
    return ToAnsi(c->drop->shown);
  return c->spec.text;
}

bool QtWindowSystem::SetIcon(uintptr_t window, int32_t control, std::string_view icon) {
  if (control == 0)
    return SetWindowIcon(window, icon);
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
  if (c->action && !c->menu) {
    c->spec.icon = std::string(icon);
    c->action->setIcon(icon.empty() ? QIcon() : LoadIcon(icon));
    return true;
  }
  if (qobject_cast<QPushButton*>(c->widget.data()) == nullptr)
    return false;
  impl_->SetButtonIcon(*c, icon);
  return true;
}

bool QtWindowSystem::SetTip(uintptr_t window, int32_t control, std::string_view tip) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
  c->tip = std::string(tip);
  Impl::ApplyTip(*c);
  return true;
}

bool QtWindowSystem::SetEnabled(uintptr_t window, int32_t control, bool enabled) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
  if (c->action) {
    c->action->setEnabled(enabled);
  } else if (c->spec.kind == NativeKind::Tab && c->sheet != nullptr) {
    c->sheet->setTabEnabled(c->sheet->indexOf(c->widget), enabled);
  } else if (c->widget) {
    c->widget->setEnabled(enabled);
  }
  return true;
}

bool QtWindowSystem::SetHidden(uintptr_t window, int32_t control, bool hidden) {
  Impl::Window* w = impl_->Find(window);
  Impl::Control* c = impl_->FindControl(window, control);
  if (w == nullptr || c == nullptr)
    return false;
  Impl::Quiet quiet(*impl_);
  c->hidden = hidden;
  impl_->UpdateVisibility(*w);
  return true;
}

bool QtWindowSystem::SetChecked(uintptr_t window, int32_t control, bool checked) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr || !c->action || !c->action->isCheckable())
    return false;
  Impl::Quiet quiet(*impl_);
  c->action->setChecked(checked);
  return true;
}

bool QtWindowSystem::IsControlVisible(uintptr_t window, int32_t control) const {
  const Impl::Window* w = impl_->Find(window);
  const Impl::Control* c = impl_->FindControl(window, control);
  return w != nullptr && c != nullptr && impl_->EffectiveVisible(*w, *c);
}

bool QtWindowSystem::IsControlEnabled(uintptr_t window, int32_t control) const {
  const Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
  if (c->action)
    return c->action->isEnabled();
  return c->widget && c->widget->isEnabled();
}

std::optional<Rect> QtWindowSystem::ControlRect(uintptr_t window, int32_t control) const {
  if (control == 0)
    return WindowRect(window);
  const Impl::Window* w = impl_->Find(window);
  const Impl::Control* c = impl_->FindControl(window, control);
  if (w == nullptr || c == nullptr || !c->widget || c->action)
    return std::nullopt;
  QRect geometry = c->widget->geometry();
  if (c->spec.kind == NativeKind::Tab) {
    geometry = QRect(c->widget->mapTo(w->body, QPoint(0, 0)), c->widget->size());
  }
  return w->scale.ToUnits(geometry);
}

bool QtWindowSystem::SetControlRect(uintptr_t window, int32_t control, const Rect& rect) {
  if (control == 0)
    return SetWindowRect(window, rect);
  Impl::Window* w = impl_->Find(window);
  Impl::Control* c = impl_->FindControl(window, control);
  if (w == nullptr || c == nullptr || !c->widget || c->action || c->spec.kind == NativeKind::Tab) {
    return false;
  }
  Impl::Quiet quiet(*impl_);
  QRect geometry = c->widget->geometry();
  if (rect.x != kUnchanged)
    geometry.moveLeft(w->scale.ToPixelsX(rect.x));
  if (rect.y != kUnchanged)
    geometry.moveTop(w->scale.ToPixelsY(rect.y));
  if (rect.width != kUnchanged)
    geometry.setWidth(std::max(0, w->scale.ToPixelsX(rect.width)));
  if (rect.height != kUnchanged)
    geometry.setHeight(std::max(0, w->scale.ToPixelsY(rect.height)));
  c->widget->setGeometry(geometry);
  if (c->spec.kind == NativeKind::Toolbar)
    impl_->ResizeClient(*w, w->client->size());
  if (!c->spec.icon.empty())
    impl_->SetButtonIcon(*c, c->spec.icon);
  return true;
}

bool QtWindowSystem::Focus(uintptr_t window, int32_t control) {
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr || !c->widget || c->action)
    return false;
  // Not quiet: an entry the user edited reports its change as it loses the focus.
  c->widget->setFocus(Qt::OtherFocusReason);
  return true;
}

bool QtWindowSystem::PaintNow(uintptr_t window, int32_t control) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  QWidget* widget = w->top.get();
  if (control != 0) {
    const Impl::Control* c = impl_->FindControl(window, control);
    if (c == nullptr)
      return false;
    // Menus draw when they open.
    widget = c->action ? nullptr : c->widget.data();
  }
  // Painted and put on the screen before this returns.
  if (widget != nullptr && widget->isVisible())
    widget->repaint();
  return true;
}

}  // namespace vantora::platform::qt
