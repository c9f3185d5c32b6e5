#include "player/player_view.h"

#include <mpv/client.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QWheelEvent>
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/address_policy.h"
#include "platform/markup_reader.h"
#include "platform/text.h"
#include "playback/reconnect_plan.h"
#include "player/mpv_player.h"
#include "player/mpv_video_widget.h"
#include "player/player_overlay_widget.h"

namespace qova::player {
namespace {

constexpr std::string_view kAboutScheme = "about:";
constexpr int kNotHeldShownMs = 5000;

// Player pages are a line or two; anything near this size is not one, and reading on would only
// hold up the UI thread.
constexpr qint64 kMaxPlayerPageBytes = qint64{4} * 1024 * 1024;

// Qt's offscreen and minimal platforms have no OpenGL for widgets; an OpenGL widget aborts there.
bool platformDrawsOpenGl() {
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen" && platform != u"minimal";
}

void paintBlack(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

QString joinedLines(const QString& first, const QString& second) {
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return first + u'\n' + second;
}

/// The player area as screen readers meet it: its description is what the picture shows in
/// lines, faded or not, and why a stream stopped; an image says nothing to them.
class PlayerAreaAccessible : public QAccessibleWidget {
  public:
    explicit PlayerAreaAccessible(PlayerView* view) : QAccessibleWidget(view) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Description)
            return static_cast<const PlayerView*>(widget())->whatScreenReadersRead();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* playerAreaAccessible(const QString&, QObject* object) {
    auto* view = qobject_cast<PlayerView*>(object);
    return view != nullptr ? new PlayerAreaAccessible(view) : nullptr;
}

}  // namespace

PlayerView::PlayerView(QWidget* parent, PlayerViewOptions options) : QWidget(parent) {
    [[maybe_unused]] static const bool describedToScreenReaders =
        (QAccessible::installFactory(&playerAreaAccessible), true);
    setAccessibleName(QStringLiteral("Player"));
    // It takes the keyboard, as the browser control it stands for does.
    setFocusPolicy(Qt::StrongFocus);
    paintBlack(*this);

    const bool drawVideo = !options.nullVideo && platformDrawsOpenGl();
    player_ = std::make_unique<MpvPlayer>(MpvPlayerOptions{
        drawVideo, std::move(options.audioOutput), std::move(options.reconnectWaitsMs),
        options.stallLimitMs, options.bufferingShownAfterMs});
    drawVideo_ = drawVideo;
    videoOnQtThread_ = options.videoOnQtThread;
    surface_ = new QWidget(this);
    paintBlack(*surface_);
    // The mouse belongs to the player area as a whole: wheel, double-click, movement.
    surface_->setAttribute(Qt::WA_TransparentForMouseEvents);
    overlay_ = new PlayerOverlayWidget(this);
    pointerIdle_.setSingleShot(true);
    pointerIdle_.setInterval(2000);
    connect(&pointerIdle_, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });

    // Why a stream stopped, with words of its server: plain text, as every line over the picture.
    status_ = lineOverPicture(this, "playerStatus", 255);
    status_->setAlignment(Qt::AlignCenter);

    // A failure comes with its reason as playbackFailed; the end of a stream is said here.
    connect(player_.get(), &MpvPlayer::endFile, this, [this](int reason, int error) {
        if (reason == MPV_END_FILE_REASON_ERROR)
            return;
        if (const std::string message = endFileMessage(reason, error); !message.empty())
            setStatus(QString::fromStdString(message));
    });
    connect(player_.get(), &MpvPlayer::playbackFailed, this, &PlayerView::setStatus);
    connect(player_.get(), &MpvPlayer::reconnecting, this, [this](int attempt, int of) {
        setStatus(QString::fromStdString(playback::ReconnectPlan::reconnectingText(attempt, of)));
    });
    connect(player_.get(), &MpvPlayer::buffering, this, [this](bool shown, int percent) {
        if (shown)
            setStatus(QString::fromStdString(playback::ReconnectPlan::bufferingText(percent)));
        else if (status_->text().startsWith(QStringLiteral("Buffering")))
            setStatus({});
    });
    connect(player_.get(), &MpvPlayer::recovered, this, [this] { setStatus({}); });
    connect(player_.get(), &MpvPlayer::notHeld, this,
            [this] { setStatus(QString::fromStdString(playback::ReconnectPlan::notHeldText())); });
    // A playlist goes on to its next entry after one that failed.
    connect(player_.get(), &MpvPlayer::playbackRestarted, this, [this] {
        const QString notHeld = QString::fromStdString(playback::ReconnectPlan::notHeldText());
        if (status_->text() != notHeld) {
            setStatus({});
            return;
        }
        // Read a while after live plays again, unless something else is said meanwhile.
        QTimer::singleShot(kNotHeldShownMs, this, [this, notHeld] {
            if (status_->text() == notHeld)
                setStatus({});
        });
    });

    connect(overlay_, &PlayerOverlayWidget::changed, this, &PlayerView::linesChanged);
    placeChildren();
}

PlayerView::~PlayerView() {
    // The picture's renderer belongs to the engine and has to go before it does.
    delete surface_;
    surface_ = nullptr;
    video_ = nullptr;
}

void PlayerView::navigate(const std::string& address) {
    events_.startNavigation();

    if (platform::startsWithIgnoreCase(address, kAboutScheme)) {
        std::string_view markup = std::string_view(address).substr(kAboutScheme.size());
        if (platform::equalsIgnoreCase(markup, "blank"))
            markup = {};
        completeLater(address, std::string(markup), {});
        return;
    }
    if (const std::string path = platform::localFilePath(address); !path.empty()) {
        openLocalPage(path, address);
        return;
    }
    // Pages from servers are not shown here; the program only sends this control its own.
    failLater(address, kStatusResourceNotFound);
}

void PlayerView::navigate2(const std::string& filePath) {
    events_.startNavigation();
    openLocalPage(filePath, filePath);
}

void PlayerView::openLocalPage(const std::string& path, const std::string& reportedUrl) {
    const QFileInfo info(QString::fromStdString(path));
    QFile file(info.absoluteFilePath());
    // Opened here, on the Qt thread: only a regular file, which cannot keep it waiting.
    if (path.empty() || !platform::isRegularFile(info.absoluteFilePath().toStdString()) ||
        !file.open(QIODevice::ReadOnly)) {
        failLater(reportedUrl, 404);
        return;
    }
    const QByteArray bytes = file.read(kMaxPlayerPageBytes);
    completeLater(reportedUrl, bytes.toStdString(), info.absolutePath().toStdString());
}

void PlayerView::completeLater(std::string url, std::string markup, std::string baseFolder) {
    events_.completeLater(std::move(url),
                          [this, markup = std::move(markup), baseFolder = std::move(baseFolder)] {
                              present(markup, baseFolder);
                          });
}

void PlayerView::failLater(std::string url, std::int32_t status) {
    events_.failLater(std::move(url), status, [this] { present(qt::kCannotDisplayPage, {}); });
}

void PlayerView::present(const std::string& markup, const std::string& baseFolder) {
    platform::PageText text = platform::pageText(markup);
    bodyText_ = std::move(text.body);
    title_ = std::move(text.title);

    const std::optional<std::string> address = platform::embeddedPlayerAddress(markup);
    if (address) {
        // A page beside its media names them relative to its own folder; a channel allowed to
        // name a file here is allowed the file its page means.
        const std::string resolved = platform::resolvedAgainst(*address, baseFolder);
        if (resolved != *address && player_->allowsLocalFile(*address))
            player_->allowLocalFile(resolved);
        play(resolved);
        return;
    }
    playerAddress_.clear();
    pendingAddress_.clear();
    setStatus({});
    player_->stop();
}

void PlayerView::createVideoSurface() {
    video_ = new MpvVideoWidget(*player_, this, videoOnQtThread_);
    connect(video_, &MpvVideoWidget::surfaceReady, this, [this] {
        linesChanged();
        if (!pendingAddress_.empty())
            player_->play(std::exchange(pendingAddress_, std::string()));
    });
    delete surface_;
    surface_ = video_;
    surface_->setAttribute(Qt::WA_TransparentForMouseEvents);
    surface_->setGeometry(rect());
    // A child added to a widget already on screen stays hidden unless told otherwise.
    if (isVisible())
        surface_->show();
    overlay_->bringToFront();
    status_->raise();
}

void PlayerView::play(const std::string& address) {
    playerAddress_ = address;
    setStatus({});
    // The engine starts at the first channel; without it there is nothing to draw.
    if (drawVideo_ && video_ == nullptr && player_->startEngine())
        createVideoSurface();
    if (video_ != nullptr && !video_->isSurfaceReady()) {
        pendingAddress_ = address;
        player_->stop();
        return;
    }
    pendingAddress_.clear();
    player_->play(address);
}

QString PlayerView::statusText() const {
    return status_->isHidden() ? QString() : status_->text();
}

void PlayerView::setStatus(const QString& text) {
    status_->setText(text);
    status_->setVisible(!text.isEmpty());
    placeChildren();
}

QString PlayerView::whatScreenReadersRead() const {
    return joinedLines(joinedLines(overlay_->whatPlays(), statusText()), markText());
}

QString PlayerView::markText() const {
    return mark_ == nullptr || mark_->isHidden() ? QString() : mark_->text();
}

void PlayerView::setMark(const QString& text) {
    if (mark_ == nullptr && text.isEmpty())
        return;
    if (mark_ == nullptr) {
        mark_ = lineOverPicture(this, "playerMark", 200);
        mark_->setWordWrap(false);
        mark_->setAccessibleName(QStringLiteral("Recording and time shift"));
    }
    mark_->setText(text);
    mark_->setAccessibleDescription(text);
    mark_->setVisible(!text.isEmpty());
    placeChildren();
}

void PlayerView::describeToScreenReaders() {
    // A new channel, a new title or a failure is announced; a new bit rate is only there to be
    // read.
    const QString told = joinedLines(overlay_->whatPlaysHeadline(), statusText());
    if (told == toldScreenReaders_)
        return;
    toldScreenReaders_ = told;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void PlayerView::linesChanged() {
    describeToScreenReaders();
    // A channel's start changes the lines several times in one go; they are drawn once, when
    // the changes are done, rather than at each (every drawing costs the picture a frame).
    if (video_ == nullptr || linesPending_)
        return;
    linesPending_ = true;
    // Skipped when a resize has drawn them meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (linesPending_)
                drawLinesOverPicture();
        },
        Qt::QueuedConnection);
}

void PlayerView::drawLinesOverPicture() {
    linesPending_ = false;
    if (video_ == nullptr)
        return;
    // The picture is a native window, which covers the lines; its renderer draws them on it.
    // Only the rectangle around the shown lines is painted and handed over: a software driver
    // uploads every pixel of it at each change and blends it into every frame.
    QList<const QLabel*> shown;
    QRect covered;
    for (const QLabel* line : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (!line->isHidden() && !line->geometry().isEmpty()) {
            shown.append(line);
            covered |= line->geometry();
        }
    }
    covered &= rect();
    if (covered.isEmpty()) {
        video_->setLinesOver(QImage(), QPoint());
        return;
    }
    const qreal ratio = devicePixelRatioF();
    QImage image(covered.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-covered.topLeft());
    for (const QLabel* line : shown) {
        // As the label draws itself, with the opacity it fades through.
        const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(line->graphicsEffect());
        painter.setOpacity(effect != nullptr ? effect->opacity() : 1.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(line == status_ ? QColor(Qt::black) : QColor(0, 0, 0, 160));
        painter.drawRoundedRect(line->geometry(), 4, 4);
        // Where and as the label lays its text out, inside the box it was given the height of.
        painter.setPen(Qt::white);
        painter.setFont(line->font());
        painter.drawText(line->contentsRect().translated(line->pos()),
                         static_cast<int>(line->alignment()) | Qt::TextWordWrap, line->text());
    }
    painter.end();
    video_->setLinesOver(image, (QPointF(covered.topLeft()) * ratio).toPoint());
}

void PlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeChildren();
    // At once: the picture takes its new size now, and the lines must not stay where they were.
    drawLinesOverPicture();
}

void PlayerView::wheelEvent(QWheelEvent* event) {
    // Whole notches of 120, however a touchpad splits them.
    wheelAngle_ += event->angleDelta().y();
    if (const int steps = wheelAngle_ / 120; steps != 0) {
        wheelAngle_ -= steps * 120;
        emit wheelTurned(steps);
    }
    event->accept();
}

void PlayerView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    event->accept();
}

void PlayerView::mouseMoveEvent(QMouseEvent* event) {
    if (hidesIdlePointer_) {
        unsetCursor();
        pointerIdle_.start();
    }
    QWidget::mouseMoveEvent(event);
}

void PlayerView::closeEvent(QCloseEvent* event) {
    // Only ever a window of its own while filling the screen: closing it comes back.
    event->ignore();
    emit closeRequested();
}

void PlayerView::setHidesIdlePointer(bool hides) {
    hidesIdlePointer_ = hides;
    setMouseTracking(hides);
    unsetCursor();
    if (hides)
        pointerIdle_.start();
    else
        pointerIdle_.stop();
}

void PlayerView::placeChildren() {
    surface_->setGeometry(rect());
    overlay_->place(size());
    if (!status_->isHidden()) {
        int lineHeight = status_->heightForWidth(width());
        if (lineHeight < 0)
            lineHeight = status_->sizeHint().height();
        lineHeight = std::min(height(), lineHeight);
        status_->setGeometry(0, (height() - lineHeight) / 2, width(), lineHeight);
        status_->raise();
    }
    if (mark_ != nullptr && !mark_->isHidden()) {
        mark_->adjustSize();
        mark_->move(8, 8);
        mark_->raise();
    }
    linesChanged();
}

}  // namespace qova::player
