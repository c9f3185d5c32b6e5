// What the tree says of a greyed node, offscreen: its tool tip, and its description for screen
// readers. The words may be a server's.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include "qt/qt_tree_view.h"

namespace qova::qt {
namespace {

// What a tool tip shows of its text: markup is drawn, not shown.
QString shown(const QString& tip) {
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

// What a screen reader is told of a node, found by its name.
QString describedAs(FlatTreeWidget& tree, const QString& name) {
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&tree);
    for (int i = 0; i < view->childCount(); ++i) {
        if (QAccessibleInterface* cell = view->child(i);
            cell != nullptr && cell->text(QAccessible::Name) == name)
            return cell->text(QAccessible::Description);
    }
    return QStringLiteral("(no node named %1)").arg(name);
}

TEST(QtTreeView, AGreyedNodeSaysWhyInPlainTextToTheMouseAndToScreenReaders) {
    FlatTreeWidget widget;
    QtTreeView tree(&widget, {});
    widget.resize(300, 200);
    widget.show();
    tree.addNode("Radio One", 0);
    tree.addNode("Radio Two", 0);
    const std::string why = "No answer: 503 <b>Busy</b> & <i>now</i>";
    tree.setNodeToolTip(2, why);
    EXPECT_EQ(tree.nodeToolTip(2), why);

    // Hovering the node shows the words as they came.
    QTreeWidgetItem* node = widget.topLevelItem(1);
    const QPoint at = widget.visualItemRect(node).center();
    QHelpEvent hover(QEvent::ToolTip, at, widget.viewport()->mapToGlobal(at));
    QApplication::sendEvent(widget.viewport(), &hover);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(shown(QToolTip::text()).toStdString(), why);
    QToolTip::hideText();

    EXPECT_EQ(describedAs(widget, QStringLiteral("Radio Two")).toStdString(), why);
    EXPECT_EQ(describedAs(widget, QStringLiteral("Radio One")).toStdString(), "");
    // A node that answers again says nothing more.
    tree.setNodeToolTip(2, "");
    EXPECT_EQ(tree.nodeToolTip(2), "");
    EXPECT_EQ(describedAs(widget, QStringLiteral("Radio Two")).toStdString(), "");
}

}  // namespace
}  // namespace qova::qt
