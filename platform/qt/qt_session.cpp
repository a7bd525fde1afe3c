// SPDX-License-Identifier: GPL-3.0-or-later
// The end of the session: the session manager's request and the signals that end it.
#include <sys/socket.h>
#include <unistd.h>

#include "platform/qt/qt_window_system_impl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "platform/profile/profile.h"

namespace vantora::platform::qt {

// The session ends now: what the procedures saved reaches the disk, what cannot is named on
// standard error, then the process goes without running Qt's teardown, which may no longer
// have a display to talk to (what the program asked to run at a quick exit still runs).
void QtWindowSystem::Impl::EndProcessForSession() {
  FlushProfiles();
  ReportUnsavedProfiles();
  std::fflush(nullptr);
  std::quick_exit(0);
}

void QtWindowSystem::Impl::EndSession() {
  Deliver(WM_QUERYENDSESSION, 0);
  Deliver(WM_ENDSESSION, 1);
  if (endAction_) {
    endAction_();
  } else {
    EndProcessForSession();
  }
}

bool QtWindowSystem::Impl::Deliver(uint32_t message, uintptr_t wParam) {
  bool allAgree = true;
  std::vector<std::pair<uint64_t, intptr_t>> targets;
  for (const auto& [handle, window] : windows_) {
    targets.emplace_back(window->top->winId(), window->proc);
  }
  for (const auto& [hwnd, proc] : targets) {
    allAgree = CallWindowProcA(proc, hwnd, message, wParam, 0) != 0 && allAgree;
  }
  return allAgree;
}

#ifndef QT_NO_SESSIONMANAGER
void QtWindowSystem::Impl::SessionManagerEnd(QSessionManager& manager) {
  // A procedure that answers 0 keeps the session, where the session manager lets it.
  if (!Deliver(WM_QUERYENDSESSION, 0) && manager.allowsInteraction()) {
    manager.release();
    manager.cancel();
    Deliver(WM_ENDSESSION, 0);
    return;
  }
  Deliver(WM_ENDSESSION, 1);
  if (endAction_) {
    endAction_();
  } else {
    EndProcessForSession();
  }
}
#endif

void QtWindowSystem::Impl::OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalWriteFd_, &byte, 1);
  errno = saved;
}

bool QtWindowSystem::Impl::InstallSignals() {
  if (signalNotifier_)
    return true;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return false;
  signalReadFd_ = fds[0];
  signalWriteFd_ = fds[1];
  signalNotifier_ = std::make_unique<QSocketNotifier>(signalReadFd_, QSocketNotifier::Read);
  QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, signalNotifier_.get(),
                   [this] {
                     char buffer[16];
                     [[maybe_unused]] const auto got = ::read(signalReadFd_, buffer, sizeof buffer);
                     EndSession();
                   });
  struct sigaction action {};
  action.sa_handler = &Impl::OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &oldTerm_);
  sigaction(SIGHUP, &action, &oldHup_);
  sigaction(SIGINT, &action, &oldInt_);
  return true;
}

void QtWindowSystem::Impl::RemoveSignals() {
  if (!signalNotifier_)
    return;
  sigaction(SIGTERM, &oldTerm_, nullptr);
  sigaction(SIGHUP, &oldHup_, nullptr);
  sigaction(SIGINT, &oldInt_, nullptr);
  signalNotifier_.reset();
  ::close(signalReadFd_);
  ::close(signalWriteFd_);
  signalReadFd_ = -1;
  signalWriteFd_ = -1;
}

void QtWindowSystem::EndSession() {
  impl_->EndSession();
}

void QtWindowSystem::SetSessionEndAction(std::function<void()> action) {
  impl_->endAction_ = std::move(action);
}

bool QtWindowSystem::InstallSessionEndSignals() {
  return impl_->InstallSignals();
}

}  // namespace vantora::platform::qt
