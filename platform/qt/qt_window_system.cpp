// SPDX-License-Identifier: GPL-3.0-or-later
// The window system on Qt Widgets. Qt widgets are owned by their parents (the Qt idiom); every
// top-level window is owned here through a unique_ptr.
#include "platform/qt/qt_window_system.h"

#include <QIconEngine>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <functional>
#include <utility>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window_system_impl.h"

namespace vantora::platform::qt {

namespace {

// An icon made when it is first drawn or measured.
class DeferredIcon final : public QIconEngine {
 public:
  explicit DeferredIcon(std::function<QIcon()> make) : make_(std::move(make)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  bool isNull() override { return Icon().isNull(); }
  QIconEngine* clone() const override { return new DeferredIcon(*this); }

 private:
  QIcon& Icon() {
    if (make_) {
      icon_ = std::exchange(make_, nullptr)();
    }
    return icon_;
  }
  std::function<QIcon()> make_;
  QIcon icon_;
};

// Fusion, but a menu bar's overflow arrow, which every menu bar asks for as it is made and hardly
// any shows, is read when first shown: reading it makes Qt load every image plugin to ask which
// one reads it.
class PlayerStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                     const QWidget* widget) const override {
    if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton) {
      return QProxyStyle::standardIcon(icon, option, widget);
    }
    QPointer<QStyle> base = baseStyle();
    return QIcon(new DeferredIcon(
        [base, icon] { return base ? base->standardIcon(icon, nullptr, nullptr) : QIcon(); }));
  }
};

}  // namespace

QtWindowSystem::Impl::Impl(int& argc, char** argv) {
  if (QApplication::instance() == nullptr) {
    ownedApp_ = std::make_unique<QApplication>(argc, argv);
  }
  // One look on every desktop, close to the flat grey controls the definitions were drawn for.
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(new PlayerStyle(style));
  }
  QApplication::setQuitOnLastWindowClosed(false);
  InstallFontSubstitutions();
  filter_ = std::make_unique<Filter>(*this);
  qApp->installEventFilter(filter_.get());
#ifndef QT_NO_SESSIONMANAGER
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, filter_.get(),
                   [this](QSessionManager& manager) { SessionManagerEnd(manager); });
#endif
}

QtWindowSystem::Impl::~Impl() {
  notice_.reset();
  RemoveSignals();
  if (qApp != nullptr && filter_) {
    qApp->removeEventFilter(filter_.get());
  }
  for (auto& [handle, window] : windows_) {
    window->destroying = true;
  }
  windows_.clear();
  filter_.reset();
}

QtWindowSystem::QtWindowSystem(int& argc, char** argv)
    : impl_(std::make_unique<Impl>(argc, argv)) {}

QtWindowSystem::~QtWindowSystem() = default;

}  // namespace vantora::platform::qt
