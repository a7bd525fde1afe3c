// SPDX-License-Identifier: GPL-3.0-or-later
// The window system on Qt Widgets. Qt widgets are owned by their parents (the Qt idiom); every
// top-level window is owned here through a unique_ptr.
#include "platform/qt/qt_window_system.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QStylePainter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <utility>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "platform/profile/profile.h"
#include "platform/qt/qt_images.h"
#include "platform/qt/qt_units.h"

namespace vantora::platform::qt {
namespace {

// Texts cross this boundary in the platform's code page, which is UTF-8 here.
QString FromAnsi(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An entry takes at most its field's width in characters; a change beyond it is refused.
class CharacterLimit : public QValidator {
 public:
  CharacterLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int& /*position*/) const override {
    return input.toUcs4().size() <= limit_ ? Acceptable : Invalid;
  }

 private:
  int limit_;
};

std::string ToAnsi(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

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

QColor ToColour(uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// "&Title" shows as "Title" where a plain label has no buddy to take the mnemonic.
QString WithoutMnemonics(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
      ++i;
    }
    out.append(text[i]);
  }
  return out;
}

constexpr const char* kDefaultFace = "MS Sans Serif";
constexpr int kDefaultPointSize = 8;

void InstallFontSubstitutions() {
  // Metric-compatible stand-ins for the faces the definitions name.
  const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                            QStringLiteral("DejaVu Sans")};
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
  QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
}

QFont MakeFont(const NativeFont& font, const QFont* base) {
  QFont out = base != nullptr ? *base : QFont();
  if (!font.face.empty() || base == nullptr) {
    out.setFamily(font.face.empty() ? QString::fromLatin1(kDefaultFace) : FromAnsi(font.face));
  }
  if (font.pointSize > 0) {
    out.setPointSize(font.pointSize);
  } else if (base == nullptr) {
    out.setPointSize(kDefaultPointSize);
  }
  out.setWeight(
      static_cast<QFont::Weight>(std::clamp(font.weight <= 0 ? 400 : font.weight, 1, 1000)));
  return out;
}

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

// A list's rows straight from the runtime's NativeRows. The row count the views know is the one
// of the last reset; Sync resets when the rows behind it changed.
class RowsModel final : public QAbstractTableModel {
 public:
  RowsModel(std::vector<Qt::Alignment> alignments, QObject* parent)
      : QAbstractTableModel(parent), alignments_(std::move(alignments)) {
    if (alignments_.empty()) {
      alignments_.push_back(Qt::AlignLeft);
    }
  }

  void SetRows(const NativeRows* rows) {
    beginResetModel();
    rows_ = rows;
    Remember();
    endResetModel();
  }
  const NativeRows* Rows() const { return rows_; }

  bool Changed() const {
    return rows_ != nullptr && (rows_->Changes() != changes_ || rows_->RowCount() != count_);
  }
  void Reset() {
    beginResetModel();
    Remember();
    endResetModel();
  }

  std::string Cell(int row, int column) const {
    if (rows_ == nullptr || row < 0 || row >= rows_->RowCount()) {
      return {};
    }
    // NativeRows counts rows from 1 but columns from 0, as the model does.
    return rows_->Cell(row + 1, column);
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : count_;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(alignments_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) {
      return {};
    }
    if (role == Qt::DisplayRole) {
      // Trailing blanks of fixed-length fields would push right-aligned text out of sight.
      QString text = FromAnsi(Cell(index.row(), index.column()));
      while (!text.isEmpty() && text.back() == QLatin1Char(' ')) {
        text.chop(1);
      }
      return text;
    }
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(alignments_[static_cast<size_t>(index.column())] |
                                 Qt::AlignVCenter);
    }
    return {};
  }

 private:
  void Remember() {
    count_ = rows_ != nullptr ? std::max(0, rows_->RowCount()) : 0;
    changes_ = rows_ != nullptr ? rows_->Changes() : 0;
  }

  const NativeRows* rows_ = nullptr;
  std::vector<Qt::Alignment> alignments_;
  int count_ = 0;
  uint32_t changes_ = 0;
};

// A drop list shows the text of its bound variable, which need not be one of its rows.
class DropListBox final : public QComboBox {
 public:
  explicit DropListBox(QWidget* parent) : QComboBox(parent) {}
  std::function<void()> beforeShow;
  QString shown;

  void showPopup() override {
    if (beforeShow)
      beforeShow();
    QComboBox::showPopup();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (beforeShow)
      beforeShow();
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = shown;
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

// A group's etched frame runs through the middle of its title, as the platform draws it.
class GroupFrame final : public QWidget {
 public:
  GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {}
  void SetTitle(const QString& title) {
    title_ = title;
    update();
  }
  const QString& Title() const { return title_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    const QRect frame = rect().adjusted(0, top, -2, -2);
    const int textLeft = 6;
    const int textWidth =
        title_.isEmpty() ? 0 : metrics.horizontalAdvance(WithoutMnemonics(title_)) + 4;
    const auto outline = [&](const QColor& colour, int offset) {
      painter.setPen(colour);
      const QRect r = frame.translated(offset, offset);
      painter.drawLine(r.left(), r.top(), r.left() + textLeft - 2, r.top());
      painter.drawLine(r.left() + textLeft + textWidth, r.top(), r.right(), r.top());
      painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
      painter.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
      painter.drawLine(r.left(), r.bottom(), r.left(), r.top());
    };
    outline(palette().color(QPalette::Light), 1);
    outline(palette().color(QPalette::Mid), 0);
    if (!title_.isEmpty()) {
      style()->drawItemText(&painter, QRect(textLeft, 0, textWidth, metrics.height()),
                            Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), title_,
                            QPalette::WindowText);
    }
  }

 private:
  QString title_;
};

}  // namespace

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

  class TopWindow final : public QWidget {
   public:
    TopWindow(Impl& impl, uintptr_t handle) : impl_(impl), handle_(handle) {}

    // Moves and state changes arrive late; only those that differ from what the runtime last
    // asked for or was told are the user's.
    QPoint knownPos;
    bool knownMinimized = false;
    bool ownChange = false;
    QElapsedTimer sinceOwnChange;

   protected:
    void closeEvent(QCloseEvent* event) override {
      const Window* window = impl_.Find(handle_);
      if (window == nullptr || window->destroying) {
        event->accept();
        return;
      }
      // The runtime decides whether the window closes.
      event->ignore();
      impl_.Report({NativeInput::Type::CloseRequested, handle_});
    }
    void moveEvent(QMoveEvent* event) override {
      QWidget::moveEvent(event);
      if (isVisible() && !isMinimized() && pos() != knownPos) {
        knownPos = pos();
        impl_.Report({NativeInput::Type::Moved, handle_});
      }
    }
    void changeEvent(QEvent* event) override {
      QWidget::changeEvent(event);
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

  Impl(int& argc, char** argv) {
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

  ~Impl() {
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

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // ---- lookup

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

  void Report(NativeInput input) {
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

  // ---- building

  uintptr_t Create(const NativeWindowSpec& spec) {
    const uintptr_t handle = nextHandle_++;
    auto window = std::make_unique<Window>();
    window->handle = handle;
    window->top = std::make_unique<TopWindow>(*this, handle);
    QWidget* top = window->top.get();
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
      w.top->knownPos = QPoint(rect.x == kDefault ? 0 : w.scale.ToPixelsX(rect.x),
                               rect.y == kDefault ? 0 : w.scale.ToPixelsY(rect.y));
      top->move(rect.x == kDefault ? 0 : w.scale.ToPixelsX(rect.x),
                rect.y == kDefault ? 0 : w.scale.ToPixelsY(rect.y));
    }
    UpdateVisibility(w);
    return handle;
  }

  static void SetWallpaper(QWidget* widget, std::string_view name) {
    if (name.empty())
      return;
    const QImage image = LoadImage(name);
    if (image.isNull())
      return;
    QPalette palette = widget->palette();
    palette.setBrush(QPalette::Window, QBrush(QPixmap::fromImage(image)));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
  }

  void ResizeClient(Window& w, QSize size) {
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

  void ApplyLook(const Window& w, Control& c, QWidget* widget) {
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
    if (background == kDefaultColour && text != kDefaultColour &&
        ToColour(text).lightness() > 110 &&
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
  static void ApplyTip(Control& c) {
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

  void Tag(QWidget* widget, uintptr_t handle, int32_t id) {
    widget->setProperty("vantoraWindow", QVariant::fromValue<qulonglong>(handle));
    widget->setProperty("vantoraControl", id);
  }

  // Pixel geometry of a control from its rect, with natural sizes where the rect says default.
  QRect Geometry(const Window& w, const Control& c, QWidget* widget) const {
    const Rect r = c.spec.rect;
    const QSize hint = widget->sizeHint();
    const int x = r.x == kDefault ? 0 : w.scale.ToPixelsX(r.x);
    const int y = r.y == kDefault ? 0 : w.scale.ToPixelsY(r.y);
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

  static void EnsureMenuBar(Window& w) {
    if (w.menuBar == nullptr) {
      w.menuBar = new QMenuBar(w.top.get());
      w.menuBar->setFont(w.font);
      w.top->layout()->setMenuBar(w.menuBar);
    }
  }

  void Build(Window& w, const NativeControl& spec) {
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
        if (c.toolbarChild)
          button->setFocusPolicy(Qt::NoFocus);
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
  void Stack(Window& w) {
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

  void SetButtonIcon(Control& c, std::string_view name) {
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
  bool EffectiveVisible(const Window& w, const Control& c) const {
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

  void UpdateVisibility(Window& w) {
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

  // ---- lists

  void SyncRows(uintptr_t handle, int32_t id) {
    Control* c = FindControl(handle, id);
    if (c == nullptr || !c->model || !c->model->Changed())
      return;
    Quiet quiet(*this);
    const int selected = SelectedRowOf(*c);
    c->model->Reset();
    RestoreSelection(*c, selected);
  }

  static int SelectedRowOf(const Control& c) {
    if (c.list != nullptr) {
      const QModelIndex index = c.list->selectionModel()->currentIndex();
      return index.isValid() ? index.row() + 1 : 0;
    }
    if (c.drop != nullptr)
      return c.drop->currentIndex() + 1;
    return 0;
  }

  static void RestoreSelection(Control& c, int row) {
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

  // ---- input watching

  bool Watch(QObject* object, QEvent* event) {
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

  bool Mouse(QObject* object, QMouseEvent* event) {
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

  struct Drag {
    uintptr_t window = 0;
    int32_t source = 0;
    QPoint start;
    bool active = false;
  };

  static int32_t RowAt(const Control& c, QPoint global) {
    const QModelIndex index = c.list->indexAt(c.list->viewport()->mapFromGlobal(global));
    return index.isValid() ? index.row() + 1 : 0;
  }

  // The topmost shown list of the window under the point; nullptr when there is none.
  const Control* ListAt(uintptr_t handle, QPoint global) const {
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
  void ReportMouseRow(uintptr_t handle, NativeInput::Mouse mouse, QPoint global) {
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
  void Drop(const Drag& drag, QPoint global) {
    Window* w = Find(drag.window);
    const Control* source = FindControl(drag.window, drag.source);
    if (w == nullptr || source == nullptr)
      return;
    const Control* target = nullptr;
    for (const bool regions : {false, true}) {
      for (auto it = w->order.rbegin(); it != w->order.rend() && target == nullptr; ++it) {
        const Control& c = w->controls[*it];
        if (c.spec.dropIds.empty() || !c.widget || !c.widget->isVisible() ||
            !c.widget->isEnabled() || (c.spec.kind == NativeKind::Region) != regions) {
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

  bool Key(QObject* object, QKeyEvent* event) {
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

  // ---- waiting

  void Wait(ClockTime deadline) {
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

  // ---- session end

  // The session ends now: what the procedures saved reaches the disk, what cannot is named on
  // standard error, then the process goes without running Qt's teardown, which may no longer
  // have a display to talk to.
  static void EndProcessForSession() {
    FlushProfiles();
    ReportUnsavedProfiles();
    std::fflush(nullptr);
    std::_Exit(0);
  }

  void EndSession() {
    Deliver(WM_QUERYENDSESSION, 0);
    Deliver(WM_ENDSESSION, 1);
    if (endAction_) {
      endAction_();
    } else {
      EndProcessForSession();
    }
  }

  bool Deliver(uint32_t message, uintptr_t wParam) {
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
  void SessionManagerEnd(QSessionManager& manager) {
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

  static void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalWriteFd_, &byte, 1);
    errno = saved;
  }

  bool InstallSignals() {
    if (signalNotifier_)
      return true;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
      return false;
    signalReadFd_ = fds[0];
    signalWriteFd_ = fds[1];
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalReadFd_, QSocketNotifier::Read);
    QObject::connect(
        signalNotifier_.get(), &QSocketNotifier::activated, signalNotifier_.get(), [this] {
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

  void RemoveSignals() {
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

  // ---- state

  std::unique_ptr<QApplication> ownedApp_;
  std::unique_ptr<Filter> filter_;
  std::map<uintptr_t, std::unique_ptr<Window>> windows_;
  uintptr_t nextHandle_ = 1;
  std::deque<NativeInput> pending_;
  std::function<void(uintptr_t)> afterShow_;
  int afterShowDelay_ = 0;
  NativeInputSink sink_;
  int quiet_ = 0;
  QEventLoop* waitLoop_ = nullptr;
  bool woken_ = false;  // an event was queued from outside the wait
  std::optional<Drag> drag_;
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

// ---- the interface

QtWindowSystem::QtWindowSystem(int& argc, char** argv)
    : impl_(std::make_unique<Impl>(argc, argv)) {}

QtWindowSystem::~QtWindowSystem() = default;

void QtWindowSystem::SetInputSink(NativeInputSink sink) {
  impl_->sink_ = std::move(sink);
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
  w->top->knownPos = w->top->pos();
  if (impl_->afterShow_) {
    QTimer::singleShot(impl_->afterShowDelay_,
                       [action = std::exchange(impl_->afterShow_, {}), window] { action(window); });
  }
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
  const QPoint at = w->top->pos();
  const QSize size = w->client->size();
  return Rect{w->scale.ToUnitsX(at.x()), w->scale.ToUnitsY(at.y()), w->scale.ToUnitsX(size.width()),
              w->scale.ToUnitsY(size.height())};
}

bool QtWindowSystem::SetWindowRect(uintptr_t window, const Rect& rect) {
  Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  Impl::Quiet quiet(*impl_);
  QPoint at = w->top->pos();
  if (rect.x != kUnchanged)
    at.setX(w->scale.ToPixelsX(rect.x));
  if (rect.y != kUnchanged)
    at.setY(w->scale.ToPixelsY(rect.y));
  if (rect.x != kUnchanged || rect.y != kUnchanged)
    at = KeepReachable(at, w->top->frameGeometry().size());
  w->top->knownPos = at;
  if (at != w->top->pos())
    w->top->move(at);
  QSize size = w->client->size();
  if (rect.width != kUnchanged)
    size.setWidth(std::max(1, w->scale.ToPixelsX(rect.width)));
  if (rect.height != kUnchanged)
    size.setHeight(std::max(0, w->scale.ToPixelsY(rect.height)));
  if (size != w->client->size())
    impl_->ResizeClient(*w, size);
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
  if (top->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
    return true;
  Impl::Quiet quiet(*impl_);
  const bool visible = top->isVisible();
  const QPoint at = top->pos();
  // Changing window flags hides the window; it comes back where it was, without taking focus.
  top->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible) {
    w->top->knownPos = at;
    top->move(at);
    top->setAttribute(Qt::WA_ShowWithoutActivating, true);
    top->show();
    top->setAttribute(Qt::WA_ShowWithoutActivating, false);
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

bool QtWindowSystem::SetText(uintptr_t window, int32_t control, std::string_view text) {
  if (control == 0)
    return SetWindowTitle(window, text);
  Impl::Control* c = impl_->FindControl(window, control);
  if (c == nullptr)
    return false;
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
  QWidget* widget = c->widget.data();
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(value.trimmed().isEmpty() ? QString() : value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(c->spec.kind == NativeKind::Prompt ? WithoutMnemonics(value) : value);
  } else if (auto* entry = qobject_cast<QLineEdit*>(widget)) {
    entry->setText(value);
    entry->setModified(false);
  } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
    box->setPlainText(value);
  } else if (c->spec.kind == NativeKind::Group) {
    static_cast<GroupFrame*>(widget)->SetTitle(value);
  } else if (c->drop != nullptr) {
    // The variable's text is shown; the row holding the same text becomes the current one. A
    // current row that holds it stays: rows may repeat a text, and the user chose this one.
    impl_->SyncRows(window, control);
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
    c->drop->setCurrentIndex(match);
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
  impl_->SyncRows(window, control);
  if (c->widget)
    c->widget->update();
  if (c->list != nullptr)
    c->list->viewport()->update();
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

namespace {

// Gives the box the caption, lines, icon and buttons it is described with; the buttons in order.
std::vector<QPushButton*> Describe(QMessageBox& box, const MessageBoxSpec& spec) {
  box.setWindowTitle(FromAnsi(spec.caption));
  QStringList lines;
  for (const std::string& line : spec.lines)
    lines.append(FromAnsi(line));
  box.setText(lines.join(QLatin1Char('\n')));
  box.setTextFormat(Qt::PlainText);
  if (!spec.icon.empty()) {
    const IconSource source = ParseIconName(spec.icon);
    const auto stock =
        source.kind == IconSource::Kind::Stock ? StockPixmap(source.id) : std::nullopt;
    if (stock == QStyle::SP_MessageBoxQuestion) {
      box.setIcon(QMessageBox::Question);
    } else if (stock == QStyle::SP_MessageBoxWarning) {
      box.setIcon(QMessageBox::Warning);
    } else if (stock == QStyle::SP_MessageBoxCritical) {
      box.setIcon(QMessageBox::Critical);
    } else if (stock == QStyle::SP_MessageBoxInformation) {
      box.setIcon(QMessageBox::Information);
    } else if (const QIcon icon = LoadIcon(spec.icon); !icon.isNull()) {
      box.setIconPixmap(icon.pixmap(32, 32));
    }
  }
  std::vector<QPushButton*> buttons;
  std::vector<std::string> labels = spec.buttons;
  if (labels.empty())
    labels.emplace_back("OK");
  for (const std::string& label : labels) {
    // One role for all keeps the buttons in the order given.
    buttons.push_back(box.addButton(FromAnsi(label), QMessageBox::ActionRole));
  }
  if (spec.defaultButton >= 0 && static_cast<size_t>(spec.defaultButton) < buttons.size()) {
    box.setDefaultButton(buttons[static_cast<size_t>(spec.defaultButton)]);
  }
  return buttons;
}

}  // namespace

int32_t QtWindowSystem::MessageBox(uintptr_t owner, const MessageBoxSpec& spec) {
  const Impl::Window* w = impl_->Find(owner);
  QMessageBox box(w != nullptr ? w->top.get() : nullptr);
  const std::vector<QPushButton*> buttons = Describe(box, spec);
  if (spec.systemModal) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  } else {
    box.setWindowModality(w != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  }
  box.exec();
  const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return it == buttons.end() ? -1 : static_cast<int32_t>(it - buttons.begin());
}

void QtWindowSystem::ShowNotice(uintptr_t owner, const MessageBoxSpec& spec) {
  // A window of its own, owned here rather than by a window the runtime may destroy first;
  // placed over its owner as a child box would be.
  auto box = std::make_unique<QMessageBox>();
  Describe(*box, spec);
  box->setWindowModality(Qt::NonModal);
  box->adjustSize();
  if (const Impl::Window* w = impl_->Find(owner); w != nullptr) {
    box->move(w->top->frameGeometry().center() - box->rect().center());
  }
  box->show();
  impl_->notice_ = std::move(box);
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

bool QtWindowSystem::SaveWindowImage(uintptr_t window, const std::string& path) const {
  const Impl::Window* w = impl_->Find(window);
  if (w == nullptr)
    return false;
  return w->top->grab().save(
      QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())), "PNG");
}

void QtWindowSystem::EndSession() {
  impl_->EndSession();
}

void QtWindowSystem::RequestClose(uintptr_t window) {
  if (impl_->Find(window) != nullptr)
    impl_->Report({NativeInput::Type::CloseRequested, window});
}

void QtWindowSystem::AfterFirstShow(int milliseconds, std::function<void(uintptr_t)> action) {
  impl_->afterShow_ = std::move(action);
  impl_->afterShowDelay_ = milliseconds;
}

void QtWindowSystem::SetSessionEndAction(std::function<void()> action) {
  impl_->endAction_ = std::move(action);
}

bool QtWindowSystem::InstallSessionEndSignals() {
  return impl_->InstallSignals();
}

void ShowFatalMessage(std::string_view caption, std::string_view message) {
  std::unique_ptr<QApplication> app;
  static int argc = 1;
  static char name[] = "vantora";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr)
    app = std::make_unique<QApplication>(argc, argv);
  QMessageBox box;
  box.setWindowTitle(FromAnsi(caption));
  box.setText(FromAnsi(message));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(QMessageBox::Critical);
  box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

}  // namespace vantora::platform::qt
