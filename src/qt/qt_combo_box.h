#pragma once

#include <QCollator>
#include <QComboBox>

#include "platform/combo_box.h"

namespace qova::qt {

/// The drop-down list over a QComboBox. QComboBox signals a new current index on its own when
/// the first entry enters an empty list or the current one is removed; only a user's choice and
/// setListIndex raise Click here. Each entry keeps its text's exact bytes.
class QtComboBox : public platform::ComboBox {
  public:
    QtComboBox(QComboBox* widget, bool sortedList, platform::Colour back, platform::Colour fore);

    void clear() override;
    void addItem(const std::string& text) override;
    void fill(const std::vector<std::string>& entries) override;
    void insertItem(int position, const std::string& text) override;
    int count() const override;
    std::string itemText(int position) const override;
    void setListIndex(int position) override;
    int listIndex() const override;
    std::string text() const override;
    bool sorted() const override { return sorted_; }
    platform::Colour backColour() const override { return back_; }
    platform::Colour foreColour() const override { return fore_; }

    QComboBox* widget() const { return widget_; }

  private:
    QComboBox* widget_;
    bool sorted_;
    platform::Colour back_;
    platform::Colour fore_;
    QCollator collator_;
};

}  // namespace qova::qt
