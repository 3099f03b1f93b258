#pragma once
// A tooltip component that owns at most one tooltip window, created on demand, and shows one text
// per registered host widget when the pointer rests anywhere on the host. Drawn by ourselves so
// that callers get a window they can keep (Qt's own QToolTip is a shared singleton).

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

namespace chengling {

class ToolTip : public QObject {
  Q_OBJECT

 public:
  explicit ToolTip(QObject* parent = nullptr);
  ~ToolTip() override;

  // Returns the tooltip window, creating it the first time: top-most, rounded when `balloon`, and
  // wrapping long texts at 1024 pixels when `limitWidth`. Later calls return the same window.
  QWidget* Create(bool limitWidth, bool balloon);
  // The tooltip window, or null before Create.
  QWidget* window() const;

  // Registers `host` with `text` (replacing an earlier text); `centred` puts the tip centred under
  // the pointer. Does nothing before Create.
  void AddTool(QWidget* host, const QString& text, bool centred);
  // Unregisters `host`; does nothing when it is not registered.
  void RemoveTool(QWidget* host);

  // The text the tooltip window shows now, empty when hidden.
  QString shownText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Tool {
    QString text;
    bool centred = false;
  };
  void showFor(QWidget* host, const Tool& tool, const QPoint& globalPos);
  void hide();

  QPointer<QLabel> window_;
  QHash<QWidget*, Tool> tools_;
};

}  // namespace chengling
