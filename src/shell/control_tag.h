#pragma once
// A control's tag (标记): a text that steers whether and how its state is kept, and that buttons
// also use to carry data (a separator, a file list). It lives in the widget's dynamic property
// "tag" (a QString); a widget without the property has an empty tag.

#include <QString>
#include <QVariant>
#include <QWidget>

namespace chengling {

inline constexpr char kTagProperty[] = "tag";

inline QString controlTag(const QObject* control) { return control->property(kTagProperty).toString(); }
inline void setControlTag(QObject* control, const QString& tag) { control->setProperty(kTagProperty, tag); }

}  // namespace chengling
