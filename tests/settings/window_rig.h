// The real window ZBTB with scripted services, for the QTest suites: a rig
// that loads and shows it, and drags and drops sent to its controls as the
// platform sends them.
#pragma once
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QtTest>
#include <memory>

#include "fake_services.h"
#include "window.h"

namespace zubeto {

using Lines = std::vector<std::string>;

// A window with its services, not yet loaded.
struct Rig {
  FakeServices services;
  std::unique_ptr<ZBTB> window;
  Rig() { window = std::make_unique<ZBTB>(services); }
  // Loads the window (start-up) and shows it; false when the load ended it.
  bool open() {
    if (!window->load()) return false;
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowExposed(window.get());
  }
  QStringList list() const {
    QStringList out;
    for (int i = 0; i < window->source_list->count(); ++i) out << window->source_list->item(i)->text();
    return out;
  }
  int checked_options() const {
    int n = 0;
    for (QRadioButton* b : window->type_buttons) n += b->isChecked() ? 1 : 0;
    return n;
  }
};

inline QStringList qlist(std::initializer_list<const char*> items) {
  QStringList out;
  for (const char* s : items) out << QString::fromUtf8(s);
  return out;
}

// Qt hands drag-move, drop and drag-leave events to the widget that
// accepted the last drag-enter, whatever widget they are sent to; every
// helper below ends its drag (by a drop or a leave), so that no later test
// sends to a widget that is gone.

// Sends drag-enter and drag-move to a widget; when both are accepted and
// `drop` is set, a drop follows, otherwise the drag leaves. Returns whether
// the drag was accepted, and the action of the move.
inline std::pair<bool, Qt::DropAction> drag(QWidget* target, const QMimeData* data, Qt::DropActions offered, bool drop,
                                            bool* dropped) {
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, offered, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent move(at, offered, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  const bool accepted = enter.isAccepted() && move.isAccepted();
  const Qt::DropAction action = move.dropAction();
  if (accepted && drop) {
    QDropEvent drop_event(QPointF(at), offered, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop_event);
    if (dropped) *dropped = drop_event.isAccepted();
  } else {
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
  }
  return {accepted, action};
}

// A drag over and a drop onto a widget; a refused drag leaves.
inline std::pair<bool, Qt::DropAction> drag_and_drop(QWidget* target, const QMimeData* data, bool* dropped = nullptr,
                                                     Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
  return drag(target, data, offered, true, dropped);
}

// A drag over a widget that then leaves it.
inline std::pair<bool, Qt::DropAction> drag_over(QWidget* target, const QMimeData* data,
                                                 Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
  return drag(target, data, offered, false, nullptr);
}

// Closes every message box that opens while it lives, noting its text.
struct BoxCloser {
  QStringList texts;
  QTimer timer;
  BoxCloser() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->accept();
      }
    });
    timer.start(20);
  }
};

// File-list data: each path as a local file URL.
inline std::unique_ptr<QMimeData> file_list(const QStringList& paths) {
  auto data = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data->setUrls(urls);
  return data;
}

// A file URL for a path given as bytes, percent-encoded as a drag source
// sends it: a name that is not valid UTF-8 (a file written by another
// system) keeps its bytes in the URL, while QUrl::fromLocalFile() could only
// be given the text with replacement characters. (A path starting "//"
// would need a host and is not made here.)
inline QUrl file_url(const std::string& path) {
  QUrl url;
  url.setScheme(QStringLiteral("file"));
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
  url.setPath(QString::fromLatin1(bytes.toPercentEncoding("/")), QUrl::TolerantMode);
  return url;
}

// File-list data of paths given as bytes.
inline std::unique_ptr<QMimeData> file_list_bytes(const Lines& paths) {
  auto data = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const std::string& p : paths) urls << file_url(p);
  data->setUrls(urls);
  return data;
}

}  // namespace zubeto
