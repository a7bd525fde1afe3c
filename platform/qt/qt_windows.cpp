// SPDX-License-Identifier: GPL-3.0-or-later
// Windows and their frames: creating, showing, placing, iconizing and destroying them.
#include "platform/qt/qt_window_system_impl.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_x11.h"

namespace vantora::platform::qt {

namespace {

// A position saved on a screen that is no longer there would leave the window out of reach:
// unless a good piece of its title bar lies on some screen, it is moved onto the primary one.
QPoint KeepReachable(QPoint at, QSize size) {
  constexpr int kTitleHeight = 24;
  constexpr int kGrip = 40;  // pixels of title bar a user needs to take hold of
  // Off every screen, and far enough from the int limits for QRect's arithmetic: a hand-edited
  // position can be anything.
  constexpr int kFar = 1 << 24;
  at = QPoint(std::clamp(at.x(), -kFar, kFar), std::clamp(at.y(), -kFar, kFar));
  const QRect title(at, QSize(std::max(size.width(), kGrip), kTitleHeight));
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect overlap = screen->availableGeometry().intersected(title);
    if (overlap.width() >= std::min(kGrip, title.width()) && overlap.height() >= kTitleHeight / 2) {
      return at;
    }
  }
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr) {
    return at;
  }
  const QRect area = primary->availableGeometry();
  const int x = std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width()));
  const int y = std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - kTitleHeight));
  return {x, y};
}

// Every window is of a fixed size, so none offers to maximise; a window owned by another is a
// dialog and offers no minimise either.
constexpr Qt::WindowFlags kOwnFrame = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
constexpr Qt::WindowFlags kOwnedFrame =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Qt names a window without a title after the program; one whose caption is empty keeps it
// empty. Nothing to do before the native window exists.
void KeepEmptyTitle(QWidget& top) {
  if (top.windowTitle().isEmpty() && top.windowHandle() != nullptr)
    NameEmpty(*top.windowHandle());
}

}  // namespace

void QtWindowSystem::Impl::TopWindow::closeEvent(QCloseEvent* event) {
  const Window* window = impl_.Find(handle_);
  if (window == nullptr || window->destroying) {
    event->accept();
    return;
  }
  // The runtime decides whether the window closes.
  event->ignore();
  impl_.Report({NativeInput::Type::CloseRequested, handle_});
}

void QtWindowSystem::Impl::TopWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (isVisible() && !isMinimized() && pos() != knownPos) {
    knownPos = pos();
    impl_.Report({NativeInput::Type::Moved, handle_});
  }
}

void QtWindowSystem::Impl::TopWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && QApplication::activeWindow() == this) {
    // Activated while a window modal to it is open: that one is what the user is after.
    for (const auto& [handle, window] : impl_.windows_) {
      if (window->owner == handle_ && window->top->isVisible())
        window->top->windowHandle()->requestActivate();
    }
  }
  if (event->type() != QEvent::WindowStateChange)
    return;
  // The platform echoes the runtime's own changes a little later, through every state it
  // passed; for a moment after such a change, state changes are taken as those echoes.
  if (ownChange && sinceOwnChange.elapsed() < 500) {
    knownMinimized = isMinimized();
    return;
  }
  ownChange = false;
  if (isMinimized() != knownMinimized) {
    knownMinimized = isMinimized();
    impl_.Report({NativeInput::Type::Iconized, handle_});
  }
}

uintptr_t QtWindowSystem::Impl::Create(const NativeWindowSpec& spec) {
  const uintptr_t handle = nextHandle_++;
  auto window = std::make_unique<Window>();
  window->handle = handle;
  window->owner = Find(spec.owner) != nullptr ? spec.owner : 0;
  window->top = std::make_unique<TopWindow>(*this, handle);
  QWidget* top = window->top.get();
  top->setWindowFlags(window->owner != 0 ? kOwnedFrame : kOwnFrame);
  window->font = MakeFont(spec.font, nullptr);
  window->scale = UnitScale::FromFont(window->font);
  top->setFont(window->font);
  top->setWindowTitle(FromAnsi(spec.title));
  if (!spec.icon.empty()) {
    top->setWindowIcon(LoadIcon(spec.icon));
  }
  auto* layout = new QVBoxLayout(top);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  window->client = new QWidget(top);
  layout->addWidget(window->client);
  SetWallpaper(window->client, spec.wallpaper);
  window->body = new QWidget(window->client);
  windows_[handle] = std::move(window);
  Window& w = *windows_[handle];

  const Rect rect = spec.rect;
  const QSize client(w.scale.ToPixelsX(rect.width == kDefault ? 200 : rect.width),
                     w.scale.ToPixelsY(rect.height == kDefault ? 100 : rect.height));
  for (const NativeControl& control : spec.controls) {
    Build(w, control);
  }
  Stack(w);
  ResizeClient(w, client);
  if (rect.x != kDefault || rect.y != kDefault) {
    PlaceFrame(w, QPoint(rect.x == kDefault ? 0 : w.scale.ToPixelsX(rect.x),
                         rect.y == kDefault ? 0 : w.scale.ToPixelsY(rect.y)));
  }
  if (w.owner != 0) {
    QWidget* owner = Find(w.owner)->top.get();
    // The window stays a parentless widget; only its native window is tied to the owner's. Qt
    // blocks the owner's input by that tie, and the window manager keeps the window above it.
    top->setWindowModality(Qt::WindowModal);
    owner->winId();
    top->winId();
    top->windowHandle()->setTransientParent(owner->windowHandle());
    if (rect.x == kDefault && rect.y == kDefault)
      PlaceOverOwner(w);
  }
  TakeFileDrops(w);
  UpdateVisibility(w);
  return handle;
}

// Centres the window's frame over its owner's, on the owner's screen. Its own frame is not
// there before it is shown: the owner's, from the same window manager, stands in for it.
void QtWindowSystem::Impl::PlaceOverOwner(Window& w) {
  const QWidget& owner = *Find(w.owner)->top;
  const QRect frame = owner.frameGeometry();
  const QRect client = owner.geometry();
  const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                         frame.right() - client.right(), frame.bottom() - client.bottom());
  const QSize size = w.top->size().grownBy(margins);
  QPoint at = frame.topLeft() +
              QPoint((frame.width() - size.width()) / 2, (frame.height() - size.height()) / 2);
  if (const QScreen* screen = owner.screen()) {
    const QRect area = screen->availableGeometry();
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
  }
  // The client area is placed: Qt carries a frame position out only once it knows the frame.
  w.top->setGeometry(QRect(at + QPoint(margins.left(), margins.top()), w.top->size()));
}

namespace {

// Paints a widget's tiled wallpaper in bands of a few dozen rows: Qt's raster engine hands a
// taller tiled fill to its thread pool, which would start threads (and their memory) for every
// full repaint of a window.
class WallpaperPainter final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      auto* widget = static_cast<QWidget*>(watched);
      const QBrush brush = widget->palette().brush(QPalette::Window);
      const QPixmap tile = brush.texture();
      if (!tile.isNull()) {
        QPainter painter(widget);
        const QRect area = static_cast<QPaintEvent*>(event)->rect();
        constexpr int kBand = 48;
        for (int y = area.top(); y <= area.bottom(); y += kBand) {
          const QRect band(area.left(), y, area.width(), std::min(kBand, area.bottom() + 1 - y));
          painter.drawTiledPixmap(band, tile,
                                  QPoint(band.left() % tile.width(), band.top() % tile.height()));
        }
      }
    }
    return false;
  }
};

}  // namespace

void QtWindowSystem::Impl::SetWallpaper(QWidget* widget, std::string_view name) {
  if (name.empty())
    return;
  auto it = wallpapers_.find(name);
  if (it == wallpapers_.end()) {
    QImage image = LoadImage(name);
    if (image.isNull())
      return;
    it = wallpapers_.emplace(name, QPixmap::fromImage(std::move(image))).first;
  }
  // Children inherit the brush, as they would a background they show through.
  QPalette palette = widget->palette();
  palette.setBrush(QPalette::Window, QBrush(it->second));
  widget->setPalette(palette);
  widget->setAttribute(Qt::WA_OpaquePaintEvent);
  widget->installEventFilter(new WallpaperPainter(widget));
}

// A window's position is its frame's, title bar included. The window manager is asked to put the
// frame there rather than told where the client area goes: just after a window is shown, Qt does
// not know the frame yet, and a client placed at the frame's position ends up one title bar lower
// than asked, or its title bar above the screen.
void QtWindowSystem::Impl::PlaceFrame(Window& w, QPoint at) {
  w.top->knownPos = at;
  w.top->placed = true;
  w.top->winId();
  if (QWindow* handle = w.top->windowHandle()) {
    handle->setFramePosition(at);
  } else {
    w.top->move(at);
  }
}

void QtWindowSystem::Impl::ResizeClient(Window& w, QSize size) {
  size = size.expandedTo(QSize(1, 0));
  w.client->setFixedSize(size);
  const int toolbarHeight = w.toolbar != nullptr ? w.toolbar->height() : 0;
  if (w.toolbar != nullptr) {
    // The strip spans the client area whatever width the definition gives it.
    w.toolbar->setGeometry(0, 0, size.width(), toolbarHeight);
  }
  w.body->setGeometry(0, toolbarHeight, size.width(), std::max(0, size.height() - toolbarHeight));
  if (w.top->layout() != nullptr) {
    w.top->layout()->activate();
  }
}

uintptr_t QtWindowSystem::CreateWindow(const NativeWindowSpec& spec) {
  Impl::Quiet quiet(*impl_);
  return impl_->Create(spec);
}

bool QtWindowSystem::ShowWindow(uintptr_t window) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  Impl::Quiet quiet(*impl_);
  w->top->show();
  QCoreApplication::sendPostedEvents(w->top.get());
  KeepEmptyTitle(*w->top);
  if (!w->top->placed)
    w->top->knownPos = w->top->pos();
  for (auto& [delay, action] : std::exchange(impl_->afterShow_, {}))
    QTimer::singleShot(delay, [action = std::move(action), window] { action(window); });
  return true;
}

bool QtWindowSystem::DestroyWindow(uintptr_t window) {
  const auto it = impl_->windows_.find(window);
  if (it == impl_->windows_.end())
    return false;
  Impl::Quiet quiet(*impl_);
  if (impl_->drag_ && impl_->drag_->window == window) {
    if (impl_->drag_->active)
      QApplication::restoreOverrideCursor();
    impl_->drag_.reset();
  }
  std::unique_ptr<Impl::Window> owned = std::move(it->second);
  impl_->windows_.erase(it);
  owned->destroying = true;
  owned->top->close();
  std::erase_if(impl_->pending_,
                [window](const NativeInput& input) { return input.window == window; });
  return true;
}

uint64_t QtWindowSystem::NativeHandle(uintptr_t window) const {
  const Impl::Window* w = impl_->Find(window);
  return w == nullptr ? 0 : static_cast<uint64_t>(w->top->winId());
}

bool QtWindowSystem::SetWindowTitle(uintptr_t window, std::string_view title) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  w->top->setWindowTitle(FromAnsi(title));
  KeepEmptyTitle(*w->top);
  return true;
}

bool QtWindowSystem::SetWindowIcon(uintptr_t window, std::string_view icon) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  w->top->setWindowIcon(icon.empty() ? QIcon() : LoadIcon(icon));
  return true;
}

std::optional<Rect> QtWindowSystem::WindowRect(uintptr_t window) const {
  const Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return std::nullopt;
  // Where the window was last put or seen: a placement the window manager has yet to carry out
  // counts as done, as it would on a desktop that places windows at once.
  const QPoint at = w->top->isVisible() ? w->top->knownPos : w->top->pos();
  const QSize size = w->client->size();
  return Rect{w->scale.ToUnitsX(at.x()), w->scale.ToUnitsY(at.y()), w->scale.ToUnitsX(size.width()),
              w->scale.ToUnitsY(size.height())};
}

bool QtWindowSystem::SetWindowRect(uintptr_t window, const Rect& rect) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  Impl::Quiet quiet(*impl_);
  // The size first: a resize Qt carries out later would otherwise undo a frame placement.
  QSize size = w->client->size();
  if (rect.width != kUnchanged)
    size.setWidth(std::max(1, w->scale.ToPixelsX(rect.width)));
  if (rect.height != kUnchanged)
    size.setHeight(std::max(0, w->scale.ToPixelsY(rect.height)));
  if (size != w->client->size())
    impl_->ResizeClient(*w, size);
  if (rect.x == kUnchanged && rect.y == kUnchanged)
    return true;
  QPoint at = w->top->knownPos;
  if (rect.x != kUnchanged)
    at.setX(w->scale.ToPixelsX(rect.x));
  if (rect.y != kUnchanged)
    at.setY(w->scale.ToPixelsY(rect.y));
  at = KeepReachable(at, w->top->frameGeometry().size());
  if (at != w->top->pos() || at != w->top->knownPos)
    impl_->PlaceFrame(*w, at);
  return true;
}

bool QtWindowSystem::IsIconized(uintptr_t window) const {
  const Impl::Window* w = impl_->Find(window);
  return w != nullptr && w->top->isMinimized();
}

bool QtWindowSystem::SetIconized(uintptr_t window, bool iconized) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  Impl::Quiet quiet(*impl_);
  Impl::TopWindow* top = w->top.get();
  top->knownMinimized = iconized;
  top->ownChange = true;
  top->sinceOwnChange.start();
  const bool visible = top->isVisible();
  top->setAttribute(Qt::WA_ShowWithoutActivating, true);
  Qt::WindowStates state = top->windowState();
  state.setFlag(Qt::WindowMinimized, iconized);
  state.setFlag(Qt::WindowActive, false);
  top->setWindowState(state);
  if (visible)
    top->show();
  top->setAttribute(Qt::WA_ShowWithoutActivating, false);
  return true;
}

bool QtWindowSystem::SetStayOnTop(uintptr_t window, bool onTop) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  QWidget* top = w->top.get();
  Qt::WindowFlags flags = top->windowFlags();
  if (flags.testFlag(Qt::WindowStaysOnTopHint) == onTop)
    return true;
  // The widget's own setter would re-create the window: it would blink and come back inactive.
  // The flag changes in place; a shown window asks the window manager.
  flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
  top->overrideWindowFlags(flags);
  if (QWindow* handle = top->windowHandle()) {
    handle->setFlags(flags);
    if (top->isVisible() && !AskKeepAbove(*handle, onTop) && onTop)
      top->raise();
  }
  return true;
}

bool QtWindowSystem::IsStayOnTop(uintptr_t window) const {
  const Impl::Window* w = impl_->Find(window);
  return w != nullptr && w->top->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

uintptr_t QtWindowSystem::WindowFromNativeHandle(uint64_t hwnd) const {
  if (hwnd == 0)
    return 0;
  for (const auto& [handle, window] : impl_->windows_) {
    if (static_cast<uint64_t>(window->top->winId()) == hwnd)
      return handle;
  }
  return 0;
}

intptr_t QtWindowSystem::SetWindowProc(uintptr_t window, intptr_t proc) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr || proc == 0)
    return 0;
  return std::exchange(w->proc, proc);
}

bool QtWindowSystem::SaveWindowImage(uintptr_t window, const std::string& path) const {
  const Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  return w->top->grab().save(
      QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())), "PNG");
}

void QtWindowSystem::RequestClose(uintptr_t window) {
  if (impl_->Find(window) != nullptr)
    impl_->Report({NativeInput::Type::CloseRequested, window});
}

void QtWindowSystem::AfterFirstShow(int milliseconds, std::function<void(uintptr_t)> action) {
  impl_->afterShow_.emplace_back(milliseconds, std::move(action));
}

}  // namespace vantora::platform::qt
