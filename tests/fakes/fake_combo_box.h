#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/combo_box.h"
#include "platform/text.h"

namespace qova::fakes {

/// The drop-down list: keeps its entries and raises Click only where the real one does.
class FakeComboBox : public platform::ComboBox {
  public:
    explicit FakeComboBox(bool sortedList = false) : sorted_(sortedList) {}

    void clear() override {
        items.clear();
        index = -1;
    }
    void addItem(const std::string& text) override {
        auto pos = items.end();
        if (sorted_) {
            pos = std::find_if(items.begin(), items.end(), [&](const std::string& s) {
                return platform::lowerCase(s) > platform::lowerCase(text);
            });
        }
        items.insert(pos, text);
    }
    void fill(const std::vector<std::string>& entries) override {
        clear();
        items = entries;
        if (sorted_) {
            std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
                return platform::lowerCase(a) < platform::lowerCase(b);
            });
        }
        ++fills;
    }
    void insertItem(int position, const std::string& text) override {
        items.insert(items.begin() + position, text);
        if (index >= position)
            ++index;
    }
    int count() const override { return static_cast<int>(items.size()); }
    std::string itemText(int position) const override {
        return items.at(static_cast<std::size_t>(position));
    }
    void setListIndex(int position) override {
        if (position < 0 || position >= count())
            throw std::out_of_range("no list entry");
        index = position;
        ++clicks;
        if (onClick)
            onClick();
    }
    int listIndex() const override { return index; }
    std::string text() const override {
        return index < 0 ? "" : items[static_cast<std::size_t>(index)];
    }
    bool sorted() const override { return sorted_; }
    platform::Colour backColour() const override { return platform::Colour::rgb(204, 204, 204); }
    platform::Colour foreColour() const override { return platform::Colour::rgb(76, 76, 76); }

    /// The user picks the entry that shows this text.
    void choose(const std::string& text) {
        const auto it = std::find(items.begin(), items.end(), text);
        if (it == items.end())
            throw std::out_of_range("no entry " + text);
        setListIndex(static_cast<int>(it - items.begin()));
    }

    std::vector<std::string> items;
    int index = -1;
    int clicks = 0;
    int fills = 0;

  private:
    bool sorted_;
};

}  // namespace qova::fakes
