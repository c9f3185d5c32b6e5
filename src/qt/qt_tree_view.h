#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <array>

#include "platform/tree_view.h"

namespace qova::qt {

/// A flat QTreeWidget that clicks like the desktop's tree control: a press on a node selects
/// it, a press on empty space keeps the selection, and every left click, on a node or not,
/// signals clickedAnywhere after the selection has been updated.
class FlatTreeWidget : public QTreeWidget {
    Q_OBJECT
  public:
    explicit FlatTreeWidget(QWidget* parent = nullptr);

  signals:
    void clickedAnywhere();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

/// The tree view over a FlatTreeWidget. Node n is top-level item n - 1; each item keeps its
/// text's exact bytes, its image number and its colour values.
class QtTreeView : public platform::TreeView {
  public:
    /// The two images of the image list: 1 an outlined star, 2 a filled star.
    QtTreeView(FlatTreeWidget* widget, std::array<QIcon, 2> imageList);

    int nodeCount() const override;
    int addNode(const std::string& text, int image) override;
    void removeNode(int index) override;
    void selectNode(int index) override;
    int selectedIndex() const override;
    std::string nodeText(int index) const override;
    int nodeImage(int index) const override;
    void setNodeImage(int index, int image) override;
    platform::Colour nodeBackColour(int index) const override;
    platform::Colour nodeForeColour(int index) const override;
    void setNodeBackColour(int index, platform::Colour colour) override;
    void setNodeForeColour(int index, platform::Colour colour) override;
    void setNodeToolTip(int index, const std::string& text) override;
    std::string nodeToolTip(int index) const override;
    void refresh() override;
    void setDisplayEnabled(bool enabled) override;
    bool displayEnabled() const override { return display_; }
    void setBackColour(platform::Colour colour) override;
    platform::Colour backColour() const override { return back_; }
    void attachImageList() override;
    bool imageListAttached() const override { return attached_; }

    FlatTreeWidget* widget() const { return widget_; }

  private:
    QTreeWidgetItem* item(int index) const;
    QIcon iconFor(int image) const;

    FlatTreeWidget* widget_;
    std::array<QIcon, 2> images_;
    QIcon blank_;
    bool attached_ = false;
    bool display_ = true;
    platform::Colour back_ = platform::Colour::rgb(255, 255, 255);
};

}  // namespace qova::qt
