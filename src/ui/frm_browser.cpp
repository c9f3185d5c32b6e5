#include "ui/frm_browser.h"

#include <QScreen>

#include "platform/web_browser.h"
#include "qt/qt_message_box.h"
#include "state/messages.h"
#include "ui/artwork.h"
#include "ui/layout.h"
#include "web/web_view.h"

namespace qova::ui {
namespace {

constexpr const char* kCaption = "Home Page";

}  // namespace

FrmBrowser::FrmBrowser(const state::Site& site, int noAnswerTimeoutMs, QWidget* centreOver)
    // No owner: the browser window lives on when the main window closes, and the program ends
    // with the last of them.
    : QWidget(nullptr, Qt::Window),
      site_(site),
      centreOver_(centreOver),
      wbHome_(new web::WebView(this, noAnswerTimeoutMs)),
      messages_(std::make_unique<qt::QtMessageBox>(this)) {
    setObjectName(QStringLiteral("frmBrowser"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(artworkIcon(Artwork::AppIcon));
    wbHome_->setObjectName(QStringLiteral("wbHome"));
    wbHome_->setAccessibleName(QStringLiteral("Information page"));
    wbHome_->setGeometry(toPixels({0, 0, 11640, 9320}));
    resize(toPixels({0, 0, 11655, 9315}).size());
    wbHome_->onDocumentComplete = [this](const std::string&) { wbHome_DocumentComplete(); };
    wbHome_->onNavigateError = [this](const std::string&, std::int32_t code) {
        wbHome_NavigateError(code);
    };
}

FrmBrowser::~FrmBrowser() {
    wbHome_->onDocumentComplete = nullptr;
    wbHome_->onNavigateError = nullptr;
}

void FrmBrowser::showWindow() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    if (centreOver_ != nullptr) {
        QRect restored(QPoint(0, 0), size());
        restored.moveCenter(centreOver_->geometry().center());
        move(restored.topLeft());
    }
    // A window loaded anew starts with its own caption; a title comes with the page.
    setWindowTitle(QString::fromLatin1(kCaption));
    Form_Load();
    showMaximized();
}

void FrmBrowser::Form_Load() {
    wbHome_->navigate(site_.page("/info3.html"));
}

void FrmBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmBrowser::Form_Resize() {
    // The outer size, frame included; a window not framed yet is taken at its inner size.
    const QRect outer = frameGeometry();
    const int heightTwips = outer.height() * platform::kTwipsPerPixel - 400;
    const int widthTwips = outer.width() * platform::kTwipsPerPixel - 100;
    // A window smaller than the margins leaves the browser at no size rather than a negative.
    const QRect size = toPixels({0, 0, std::max(0, widthTwips), std::max(0, heightTwips)});
    wbHome_->resize(size.size());
}

void FrmBrowser::wbHome_DocumentComplete() {
    if (wbHome_->readyState() != platform::WebBrowser::kReadyStateComplete)
        return;
    if (!strNavError_.empty())
        return;
    if (!wbHome_->hasDocument())
        return;
    const std::string title = wbHome_->title();
    if (!title.empty()) {
        setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    }
}

void FrmBrowser::wbHome_NavigateError(std::int32_t statusCode) {
    if (statusCode == 404) {
        strNavError_ = "404";
        messages_->show(state::kMessagePageMissing);
    } else if (statusCode == platform::WebBrowser::kStatusResourceNotFound) {
        messages_->show(state::kMessageNoConnection);
        strNavError_ = std::to_string(statusCode);
    }
}

}  // namespace qova::ui
