#include "ui/secondary_windows.h"

#include <QMouseEvent>
#include <QTimer>

#include "platform/qt_strings.h"
#include "platform/text.h"
#include "state/messages.h"
#include "ui/artwork.h"
#include "ui/layout.h"
#include "ui/window_style.h"

namespace qova::ui {
namespace {

constexpr int kWindowWidthTwips = 5820;

}  // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

SmallWindow::SmallWindow(QWidget* owner, const char* objectName, int heightTwips)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(QString());
    setFixedSize(toPixels({0, 0, kWindowWidthTwips, heightTwips}).size());
    paintDark(*this);
    setWindowIcon(artworkIcon(Artwork::AppIcon));
}

QLabel* SmallWindow::place(QLabel* text, const char* objectName, TwipRect where, double points,
                           bool bold, Qt::Alignment alignment) {
    text->setObjectName(QString::fromLatin1(objectName));
    // The placeholder the window is designed with; every label but the fixed ones gets its
    // text at load.
    text->setText(QStringLiteral("Label1"));
    text->setGeometry(toPixels(where));
    QFont font = text->font();
    font.setPointSizeF(points);
    font.setBold(bold);
    text->setFont(font);
    text->setAlignment(alignment | Qt::AlignTop);
    text->setTextFormat(Qt::PlainText);
    return text;
}

QLabel* SmallWindow::label(const char* objectName, int left, int top, int width, int height,
                           double points, bool bold, Qt::Alignment alignment) {
    return place(new QLabel(this), objectName, {left, top, width, height}, points, bold, alignment);
}

LinkLabel* SmallWindow::link(const char* objectName, int left, int top, int width, int height,
                             double points, bool bold, Qt::Alignment alignment) {
    auto* text = new LinkLabel(this);
    place(text, objectName, {left, top, width, height}, points, bold, alignment);
    return text;
}

FrmCommon::FrmCommon(QWidget* owner, const state::SharedStrings& shared, const state::Site& site,
                     platform::Shell& shell)
    : SmallWindow(owner, "frmCommon", 2595), shared_(shared) {
    lblMain_ = label("lblMain", 1425, 150, 3765, 1365, 8.25, false, Qt::AlignLeft);
    lblLink_ = link("lblLink", 975, 1725, 3765, 390, 9.75, true, Qt::AlignHCenter);
    // The link writes to the support address whatever the label shows.
    connect(lblLink_, &LinkLabel::clicked, this,
            [&shell, &site] { shell.open("mailto:" + site.supportEmail); });
}

void FrmCommon::Form_Load() {
    lblMain_->setText(platform::toQString(platform::upperCase(shared_.strCommonText)));
    lblLink_->setText(platform::toQString(shared_.strCommonLink));
}

FrmAbout::FrmAbout(QWidget* owner, const state::Site& site, platform::Shell& shell)
    : SmallWindow(owner, "frmAbout", 3675) {
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("imgTVOnDemand"));
    logo->setGeometry(toPixels({1800, 150, 2160, 1590}));
    logo->setFrameStyle(QFrame::Box | QFrame::Plain);
    logo->setLineWidth(1);
    logo->setAlignment(Qt::AlignCenter);
    logo->setPixmap(artworkIcon(Artwork::AboutLogo)
                        .pixmap(artworkSize(Artwork::AboutLogo), devicePixelRatioF()));
    label("Label2", 1090, 1875, 3615, 240, 8.25, true, Qt::AlignHCenter)
        ->setText(QString::fromUtf8(state::kProductName));
    LinkLabel* mail = link("Label1", 1050, 2550, 3615, 240, 9.75, true, Qt::AlignHCenter);
    mail->setText(platform::toQString(site.supportEmail));
    connect(mail, &LinkLabel::clicked, this,
            [&shell, &site] { shell.open("mailto:" + site.supportEmail); });
    LinkLabel* web = link("lblLink", 1050, 3150, 3615, 240, 9.75, true, Qt::AlignHCenter);
    QString host = platform::toQString(site.address);
    host.remove(QStringLiteral("https://")).remove(QStringLiteral("http://"));
    web->setText(QStringLiteral("Visit us at ") + host);
    connect(web, &LinkLabel::clicked, this, [&shell, &site] { shell.open(site.address); });
}

FrmSoftRequired::FrmSoftRequired(QWidget* owner, const state::SharedStrings& shared,
                                 platform::Shell& shell)
    : SmallWindow(owner, "frmSoftRequired", 2595), shared_(shared) {
    lblHeading_ = label("lblHeading", 150, 150, 5535, 270, 8.25, false, Qt::AlignHCenter);
    lblCenter_ = label("lblCenter", 150, 1050, 5535, 270, 8.25, false, Qt::AlignHCenter);
    lblDownload_ = link("lblDownload", 150, 2100, 5535, 270, 8.25, false, Qt::AlignHCenter);
    QFont font = lblDownload_->font();
    font.setUnderline(true);
    lblDownload_->setFont(font);
    connect(lblDownload_, &LinkLabel::clicked, this,
            [this, &shell] { shell.open(shared_.strSoftUrl); });
}

void FrmSoftRequired::Form_Load() {
    lblHeading_->setText(platform::toQString(shared_.strSoftHeading));
    lblCenter_->setText(platform::toQString(shared_.strSoftCenter));
    lblDownload_->setText(platform::toQString(shared_.strSoftDownload));
}

QtSecondaryWindows::QtSecondaryWindows(QWidget* owner, const state::SharedStrings& shared,
                                       const state::Site& site, platform::Shell& shell)
    : owner_(owner), shared_(shared), site_(site), shell_(shell) {}

QtSecondaryWindows::~QtSecondaryWindows() = default;

void QtSecondaryWindows::run(QDialog& window) {
    if (onShown) {
        QTimer::singleShot(0, &window, [this, &window] { onShown(window); });
    }
    window.exec();
}

void QtSecondaryWindows::showCommon() {
    if (!common_)
        common_ = std::make_unique<FrmCommon>(owner_, shared_, site_, shell_);
    common_->Form_Load();
    run(*common_);
}

void QtSecondaryWindows::showAbout() {
    if (!about_)
        about_ = std::make_unique<FrmAbout>(owner_, site_, shell_);
    run(*about_);
}

void QtSecondaryWindows::showSoftRequired() {
    if (!softRequired_)
        softRequired_ = std::make_unique<FrmSoftRequired>(owner_, shared_, shell_);
    softRequired_->Form_Load();
    run(*softRequired_);
}

}  // namespace qova::ui
