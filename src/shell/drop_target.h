#pragma once
// The drop target every tool window shares. It watches one widget (a group box, or the whole tool
// window), takes the local paths of a drag in drop order and hands them on from a queued call once
// the drag has completed, so that no question is asked while the drag source still waits.

#include <QObject>
#include <QString>
#include <Qt>

#include <functional>

#include "foundation/file_collector.h"

class QMimeData;
class QWidget;

namespace chengling {

class DropTarget : public QObject {
  Q_OBJECT

 public:
  // Whether a drop is taken now (a tool refuses drops while it runs).
  using Accepts = std::function<bool()>;
  // Receives the dropped paths (internal text, in drop order, without trailing separators) and the
  // keyboard modifiers held at the drop. Runs on the window's thread after the drop event.
  using Deliver = std::function<void(PathList paths, Qt::KeyboardModifiers modifiers)>;

  // Makes `zone` accept drops and watches it; the target is a child of `zone` named `name`.
  DropTarget(QWidget* zone, const QString& name, Accepts accepts, Deliver deliver);

  // Queues `paths` for delivery as a drop would. A later offer before the delivery replaces an
  // earlier one. Returns false, queueing nothing, when the target refuses or `paths` is empty.
  bool offer(PathList paths, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

  // Offers `paths` to the first drop target of a tool window (files opened with the program arrive
  // this way). False when the window has none or it refuses.
  static bool deliverTo(QWidget* window, PathList paths);

  // The local paths of a drag's data, in order, as internal text.
  static PathList localPaths(const QMimeData* mime);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void deliverPending();

  Accepts accepts_;
  Deliver deliver_;
  PathList pending_;
  Qt::KeyboardModifiers pendingModifiers_;
};

}  // namespace chengling
