// SPDX-License-Identifier: GPL-3.0-or-later
// The inside of the Qt window system, shared by its parts: windows and their frames
// (qt_windows.cpp), controls by kind (qt_controls.cpp), lists (qt_lists.cpp), drag and drop and
// files dropped from other programs (qt_drag_drop.cpp), input and waiting (qt_input.cpp), message
// boxes (qt_message_boxes.cpp) and the end of the session (qt_session.cpp).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTreeView>
#include <csignal>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_rows_model.h"
#include "platform/qt/qt_units.h"
#include "platform/qt/qt_widgets.h"
#include "platform/qt/qt_window_system.h"

class QSessionManager;

namespace vantora::platform::qt {

class QtWindowSystem::Impl {
 public:
  struct Control {
    NativeControl spec;
    QPointer<QWidget> widget;  // the control's widget (a tab's page)
    QPointer<QAction> action;  // menu items and menus
    QPointer<QMenu> menu;
    QPointer<RowsModel> model;
    QTreeView* list = nullptr;
    DropListBox* drop = nullptr;
    QTabWidget* sheet = nullptr;  // tabs: their sheet
    bool hidden = false;
    bool toolbarChild = false;
    std::string tip;
    std::string status;
  };

  class TopWindow;

  struct Window {
    uintptr_t handle = 0;
    uintptr_t owner = 0;  // the window this one is modal to; 0 for none
    std::unique_ptr<TopWindow> top;
    QWidget* client = nullptr;
    QWidget* toolbar = nullptr;
    QWidget* body = nullptr;
    QMenuBar* menuBar = nullptr;
    UnitScale scale;
    QFont font;
    std::map<int32_t, Control> controls;
    std::vector<int32_t> order;  // definition order
    intptr_t proc = reinterpret_cast<intptr_t>(&DefWindowProcA);
    bool destroying = false;
  };

  // A window's frame: reports the close box, the user's moves and iconizing.
  class TopWindow final : public QWidget {
   public:
    TopWindow(Impl& impl, uintptr_t handle) : impl_(impl), handle_(handle) {}

    // Moves and state changes arrive late; only those that differ from what the runtime last
    // asked for or was told are the user's.
    QPoint knownPos;
    bool placed = false;  // the runtime gave the window a position
    bool knownMinimized = false;
    bool ownChange = false;
    QElapsedTimer sinceOwnChange;

   protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

   private:
    Impl& impl_;
    uintptr_t handle_;
  };

  // Watches regions, entries, lists and drags; installed on the application.
  class Filter final : public QObject {
   public:
    explicit Filter(Impl& impl) : impl_(impl) {}
    bool eventFilter(QObject* object, QEvent* event) override { return impl_.Watch(object, event); }

   private:
    Impl& impl_;
  };

  // Scope in which changes the runtime makes raise no input.
  class Quiet {
   public:
    explicit Quiet(Impl& impl) : impl_(impl) { ++impl_.quiet_; }
    ~Quiet() { --impl_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    Impl& impl_;
  };

  struct Drag {
    uintptr_t window = 0;
    int32_t source = 0;
    QPoint start;
    bool active = false;
  };

  Impl(int& argc, char** argv);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  Window* Find(uintptr_t handle) const {
    const auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.get();
  }
  Control* FindControl(uintptr_t handle, int32_t id) const {
    Window* window = Find(handle);
    if (window == nullptr)
      return nullptr;
    const auto it = window->controls.find(id);
    return it == window->controls.end() ? nullptr : &it->second;
  }

  // Windows (qt_windows.cpp).
  uintptr_t Create(const NativeWindowSpec& spec);
  void SetWallpaper(QWidget* widget, std::string_view name);
  void PlaceFrame(Window& w, QPoint at);
  void PlaceOverOwner(Window& w);
  void ResizeClient(Window& w, QSize size);

  // Controls (qt_controls.cpp).
  void ApplyLook(const Window& w, Control& c, QWidget* widget);
  static void ApplyTip(Control& c);
  void Tag(QWidget* widget, uintptr_t handle, int32_t id);
  QRect Geometry(const Window& w, const Control& c, QWidget* widget) const;
  static void EnsureMenuBar(Window& w);
  void Build(Window& w, const NativeControl& spec);
  void Stack(Window& w);
  void SetButtonIcon(Control& c, std::string_view name);
  bool EffectiveVisible(const Window& w, const Control& c) const;
  void UpdateVisibility(Window& w);

  // Lists (qt_lists.cpp).
  void SyncRows(uintptr_t handle, int32_t id);
  void DrawChangedRows();
  static int SelectedRowOf(const Control& c);
  static void RestoreSelection(Control& c, int row);

  // Drag and drop (qt_drag_drop.cpp).
  bool Mouse(QObject* object, QMouseEvent* event);
  static int32_t RowAt(const Control& c, QPoint global);
  const Control* ListAt(uintptr_t handle, QPoint global) const;
  void ReportMouseRow(uintptr_t handle, NativeInput::Mouse mouse, QPoint global);
  void Drop(const Drag& drag, QPoint global);
  // Drags of local files from other programs onto windows without an owner.
  bool FileDrag(QObject* object, QEvent* event);
  void TakeFileDrops(Window& w) const;

  // Input and waiting (qt_input.cpp).
  bool Watch(QObject* object, QEvent* event);
  bool Key(QObject* object, QKeyEvent* event);
  // The keyboard as the platform's dialogs have it: mnemonics of buttons, groups and prompts,
  // Enter and Escape, the first control focused when a window opens.
  Window* WindowOf(const QObject* object) const;
  std::vector<int32_t> MnemonicMatches(const Window& w, const QKeyEvent* event) const;
  bool Mnemonic(Window& w, const QKeyEvent* event);
  bool DialogKey(Window& w, const QKeyEvent* event);
  static void ShowDefault(Window& w);
  static void FocusFirst(Window& w);
  void Report(NativeInput input);
  // An entry's edit the user has not left yet is reported before what its window does next.
  void ReportEdits(uintptr_t handle);
  void Wait(ClockTime deadline);

  // The end of the session (qt_session.cpp).
  static void EndProcessForSession();
  void EndSession();
  bool Deliver(uint32_t message, uintptr_t wParam);
  void SessionManagerEnd(QSessionManager& manager);
  static void OnSignal(int);
  bool InstallSignals();
  void RemoveSignals();

  // State.
  std::unique_ptr<QApplication> ownedApp_;
  std::unique_ptr<Filter> filter_;
  std::map<uintptr_t, std::unique_ptr<Window>> windows_;
  // Wallpapers by name: a window and its toolbar share one decoded picture.
  std::map<std::string, QPixmap, std::less<>> wallpapers_;
  uintptr_t nextHandle_ = 1;
  std::deque<NativeInput> pending_;
  std::vector<std::pair<int, std::function<void(uintptr_t)>>> afterShow_;
  NativeInputSink sink_;
  int quiet_ = 0;
  QEventLoop* waitLoop_ = nullptr;
  bool woken_ = false;  // an event was queued from outside the wait
  std::optional<Drag> drag_;
  FileDropHandler fileDrop_;
  uint32_t lastKey_ = 0;  // the key code of the key being handled; 0 after a mouse press
  struct MovedRow {
    uintptr_t window = 0;
    int32_t control = 0;
    int32_t row = -1;
    bool operator==(const MovedRow&) const = default;
  };
  MovedRow lastMoved_;
  std::function<void()> endAction_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  int signalReadFd_ = -1;
  static inline int signalWriteFd_ = -1;
  struct sigaction oldTerm_ {};
  struct sigaction oldHup_ {};
  struct sigaction oldInt_ {};
  std::unique_ptr<QMessageBox> notice_;
};

}  // namespace vantora::platform::qt
