// SPDX-License-Identifier: GPL-3.0-or-later
// The window system on Qt Widgets. Qt widgets are owned by their parents (the Qt idiom); every
// top-level window is owned here through a unique_ptr.
#include "platform/qt/qt_window_system.h"

#include <QStyleFactory>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window_system_impl.h"

namespace vantora::platform::qt {

QtWindowSystem::Impl::Impl(int& argc, char** argv) {
  if (QApplication::instance() == nullptr) {
    ownedApp_ = std::make_unique<QApplication>(argc, argv);
  }
  // One look on every desktop, close to the flat grey controls the definitions were drawn for.
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(style);
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
