#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/colour.h"

namespace qova::platform {

/// A drop-down list the user can only choose from. Filling it raises nothing; selecting an
/// entry, by the user or through setListIndex, raises Click once, synchronously.
class ComboBox {
  public:
    virtual ~ComboBox() = default;

    virtual void clear() = 0;
    /// Appends an entry, or puts it in its alphabetical place when the list is sorted.
    virtual void addItem(const std::string& text) = 0;
    /// Replaces every entry by these, in one go however many they are: in their order, or, when
    /// the list is sorted, each in the place addItem would give it. Selects nothing.
    virtual void fill(const std::vector<std::string>& entries) = 0;
    /// Inserts an entry at a position, where it stays whether or not the list is sorted.
    virtual void insertItem(int position, const std::string& text) = 0;
    virtual int count() const = 0;
    virtual std::string itemText(int position) const = 0;
    /// Selects the entry at a position (0-based) and raises Click.
    virtual void setListIndex(int position) = 0;
    /// The selected position, -1 when none is selected.
    virtual int listIndex() const = 0;
    /// The text shown for the selected entry, "" when none is selected.
    virtual std::string text() const = 0;
    virtual bool sorted() const = 0;

    virtual Colour backColour() const = 0;
    virtual Colour foreColour() const = 0;

    std::function<void()> onClick;
};

}  // namespace qova::platform
