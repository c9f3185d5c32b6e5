#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "state/site.h"

namespace qova::qt {
class QtMessageBox;
}  // namespace qova::qt
namespace qova::web {
class WebView;
}  // namespace qova::web

namespace qova::ui {

/// The separate browser window that shows the service's information page at full size. One
/// object serves the whole run: closing the window hides it, and the next showing loads the
/// page again under its first caption, while a navigation error once recorded stays recorded.
/// It may outlive the main window, and keeps nothing of it.
class FrmBrowser : public QWidget {
    Q_OBJECT
  public:
    FrmBrowser(const state::Site& site, int noAnswerTimeoutMs, QWidget* centreOver);
    ~FrmBrowser() override;

    /// Shows the window maximized, loading it first unless it is open already.
    void showWindow();

    void Form_Load();
    void Form_Resize();
    void wbHome_DocumentComplete();
    void wbHome_NavigateError(std::int32_t statusCode);

    web::WebView& wbHome() { return *wbHome_; }
    const std::string& strNavError() const { return strNavError_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    const state::Site site_;
    QPointer<QWidget> centreOver_;
    web::WebView* wbHome_;
    std::unique_ptr<qt::QtMessageBox> messages_;
    std::string strNavError_;
};

}  // namespace qova::ui
