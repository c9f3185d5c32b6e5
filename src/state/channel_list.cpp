#include "state/channel_list.h"

#include "platform/text.h"

namespace qova::state {

void ChannelList::clear() {
    for (int i = tree_.nodeCount(); i >= 1; --i)
        tree_.removeNode(i);
    colChannels_.clear();
}

int ChannelList::add(std::string_view record, std::string_view name, int image,
                     platform::Colour back, platform::Colour fore) {
    const int node = tree_.addNode(std::string(platform::shownText(name)), image);
    tree_.setNodeBackColour(node, back);
    tree_.setNodeForeColour(node, fore);
    colChannels_.emplace_back(record);
    return node;
}

void ChannelList::remove(int node) {
    if (node < 1 || node > count())
        return;
    colChannels_.erase(colChannels_.begin() + (node - 1));
    tree_.removeNode(node);
    if (intPlayingNode_ == node) {
        intPlayingNode_ = 0;
    } else if (intPlayingNode_ > node) {
        --intPlayingNode_;
    }
}

const std::string* ChannelList::record(int node) const {
    if (node < 1 || node > count())
        return nullptr;
    return &colChannels_[static_cast<std::size_t>(node - 1)];
}

void ChannelList::setPlayingNode(int node, platform::Colour previousNodeColour) {
    if (intPlayingNode_ != 0)
        tree_.setNodeBackColour(intPlayingNode_, previousNodeColour);
    intPlayingNode_ = node;
}

}  // namespace qova::state
