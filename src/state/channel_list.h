#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/colour.h"
#include "platform/tree_view.h"

namespace qova::state {

/// The channel tree's nodes together with the records behind them (colChannels) and the node
/// whose channel was started last (intPlayingNode). Every change of the tree's nodes goes through
/// here, so that node n always stands beside record n, also when two channels share a name, and
/// the playing node keeps naming its channel when a node before it goes.
class ChannelList {
  public:
    explicit ChannelList(platform::TreeView& tree) : tree_(tree) {}

    ChannelList(const ChannelList&) = delete;
    ChannelList& operator=(const ChannelList&) = delete;

    /// Removes every node, from the last to the first, and every record.
    void clear();
    /// Adds a node after the others with its record beside it; returns its index. The node shows
    /// the name as names are shown, its record stays whole.
    int add(std::string_view record, std::string_view name, int image, platform::Colour back,
            platform::Colour fore);
    /// Removes node n and its record.
    void remove(int node);

    /// The record of node n (counted from 1); nullptr when there is none.
    const std::string* record(int node) const;
    int count() const { return static_cast<int>(colChannels_.size()); }
    const std::vector<std::string>& colChannels() const { return colChannels_; }

    /// The node whose channel was started last, 0 for none.
    int intPlayingNode() const { return intPlayingNode_; }
    /// Counts a node as playing; the one that played before gets back the colour given, when it
    /// is still there.
    void setPlayingNode(int node, platform::Colour previousNodeColour);
    /// Counts no node as playing; colours stay as they are.
    void forgetPlayingNode() { intPlayingNode_ = 0; }

  private:
    platform::TreeView& tree_;
    std::vector<std::string> colChannels_;
    int intPlayingNode_ = 0;
};

}  // namespace qova::state
