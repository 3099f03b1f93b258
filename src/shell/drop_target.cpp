#include "shell/drop_target.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <utility>

#include "platform/qt_text.h"

namespace chengling {

DropTarget::DropTarget(QWidget* zone, const QString& name, Accepts accepts, Deliver deliver)
    : QObject(zone), accepts_(std::move(accepts)), deliver_(std::move(deliver)) {
  setObjectName(name);
  zone->setAcceptDrops(true);
  zone->installEventFilter(this);
}

PathList DropTarget::localPaths(const QMimeData* mime) {
  PathList paths;
  if (mime == nullptr) return paths;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    QString path = url.toLocalFile();
    // A folder dragged from some file managers ends with a separator; the folder rules want none.
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    if (!path.isEmpty()) paths.push_back(pathFromQString(path));
  }
  return paths;
}

bool DropTarget::eventFilter(QObject* /*watched*/, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (accepts_() && !localPaths(drag->mimeData()).empty()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (offer(localPaths(drop->mimeData()), drop->modifiers())) {
        drop->acceptProposedAction();
      } else {
        drop->ignore();
      }
      return true;
    }
    default:
      return false;
  }
}

bool DropTarget::offer(PathList paths, Qt::KeyboardModifiers modifiers) {
  if (paths.empty() || !accepts_()) return false;
  const bool queued = !pending_.empty();
  pending_ = std::move(paths);
  pendingModifiers_ = modifiers;
  if (!queued) QMetaObject::invokeMethod(this, &DropTarget::deliverPending, Qt::QueuedConnection);
  return true;
}

void DropTarget::deliverPending() {
  PathList paths = std::move(pending_);
  pending_.clear();
  // A run may have started between the drop and now; it is not nested.
  if (paths.empty() || !accepts_()) return;
  deliver_(std::move(paths), pendingModifiers_);
}

bool DropTarget::deliverTo(QWidget* window, PathList paths) {
  if (window == nullptr) return false;
  auto* target = window->findChild<DropTarget*>();
  return target != nullptr && target->offer(std::move(paths));
}

}  // namespace chengling
