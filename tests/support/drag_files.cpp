// SPDX-License-Identifier: GPL-3.0-or-later
// A drag source for tests under X: pressed, it drags the URLs on its command line.
//
// Absolute paths go as file URLs, and a copy is offered; it exits 0 when a window took them, 1
// when none did. Usage: vantora_drag_files [--at X,Y] URL-OR-PATH...
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPoint>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class Source final : public QWidget {
 public:
  explicit Source(QList<QUrl> urls) : urls_(std::move(urls)) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || started_)
      return;
    started_ = true;
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setUrls(urls_);
    drag->setMimeData(mime);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("drop action %d\n", static_cast<int>(action));
    std::fflush(stdout);
    // The window that took the drop reads the data from this program only after the drop: it
    // stays a while to answer, as a file manager would.
    QTimer::singleShot(1500,
                       [action] { QCoreApplication::exit(action == Qt::CopyAction ? 0 : 1); });
  }

 private:
  QList<QUrl> urls_;
  bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QPoint at(0, 0);
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QFile::decodeName(argv[i]);
    if (arg == QLatin1String("--at") && i + 1 < argc) {
      const QStringList xy = QString::fromLatin1(argv[++i]).split(QLatin1Char(','));
      at = xy.size() == 2 ? QPoint(xy[0].toInt(), xy[1].toInt()) : at;
    } else {
      urls.push_back(arg.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(arg) : QUrl(arg));
    }
  }
  if (urls.isEmpty()) {
    std::fputs("usage: vantora_drag_files [--at X,Y] URL-OR-PATH...\n", stderr);
    return 2;
  }
  Source source(urls);
  source.setWindowTitle(QStringLiteral("Drag source"));
  source.setGeometry(QRect(at, QSize(60, 60)));
  source.show();
  return app.exec();
}
