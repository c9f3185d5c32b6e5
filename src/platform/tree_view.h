#pragma once

#include <functional>
#include <string>

#include "platform/colour.h"

namespace qova::platform {

/// A flat tree view: root nodes only, numbered from 1 in the order they were added; removing
/// node i moves every later node down by one. Image numbers refer to the attached image list
/// (0 is no image). Click is raised by a mouse click in the tree after the selection has been
/// updated, also when the click lands on empty space and the selection stays as it was.
class TreeView {
  public:
    virtual ~TreeView() = default;

    virtual int nodeCount() const = 0;
    /// Adds a root node after the existing ones and returns its index.
    virtual int addNode(const std::string& text, int image = 0) = 0;
    virtual void removeNode(int index) = 0;
    virtual void selectNode(int index) = 0;
    /// The index of the selected node, 0 when none is selected.
    virtual int selectedIndex() const = 0;

    virtual std::string nodeText(int index) const = 0;
    virtual int nodeImage(int index) const = 0;
    virtual void setNodeImage(int index, int image) = 0;
    virtual Colour nodeBackColour(int index) const = 0;
    virtual Colour nodeForeColour(int index) const = 0;
    virtual void setNodeBackColour(int index, Colour colour) = 0;
    virtual void setNodeForeColour(int index, Colour colour) = 0;
    /// What a node says when the pointer rests on it; "" for nothing.
    virtual void setNodeToolTip(int index, const std::string& text) = 0;
    virtual std::string nodeToolTip(int index) const = 0;

    virtual void refresh() = 0;
    /// The display property: switched off while the tree is rebuilt, on again afterwards. It
    /// changes only how the tree looks, never its nodes.
    virtual void setDisplayEnabled(bool enabled) = 0;
    virtual bool displayEnabled() const = 0;
    virtual void setBackColour(Colour colour) = 0;
    virtual Colour backColour() const = 0;
    /// Attaches the image list of star pictures that node images refer to.
    virtual void attachImageList() = 0;
    virtual bool imageListAttached() const = 0;

    std::function<void()> onClick;
};

}  // namespace qova::platform
