#pragma once

#include <QWidget>

#include "platform/message_box.h"

namespace qova::qt {

/// Modal message boxes over QMessageBox, centred on their owner window.
class QtMessageBox : public platform::MessageBox {
  public:
    explicit QtMessageBox(QWidget* owner) : owner_(owner) {}
    void show(const std::string& text) override;

  private:
    QWidget* owner_;
};

}  // namespace qova::qt
