#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace qova::ui {

/// Screen readers' view of the guide grid: a table whose children are the programme cells in
/// view, each named with its channel, title and times, the current one focused and selected.
/// Installed once for the program; answers for guide grids alone.
QAccessibleInterface* guideGridAccessible(const QString& className, QObject* object);

}  // namespace qova::ui
