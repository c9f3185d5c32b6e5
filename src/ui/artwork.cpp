#include "ui/artwork.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <array>
#include <map>

// The resources live in a static library; without this call the linker may drop them.
static void loadArtworkResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(artwork);
        return true;
    }();
    (void)loaded;
}

namespace qova::ui {
namespace {

struct Drawing {
    const char* name;
    QSize size;
};

constexpr std::array<Drawing, kArtworkCount> kDrawings{{
    {"tv", {108, 81}},
    {"radio", {108, 81}},
    {"favourites", {108, 81}},
    {"on_demand", {108, 81}},
    {"video_search", {108, 81}},
    {"stream_test", {108, 81}},
    {"home", {120, 81}},
    {"stop", {35, 35}},
    {"add_favourite", {31, 31}},
    {"remove_favourite", {31, 31}},
    {"arrow_fold", {19, 8}},
    {"arrow_unfold", {19, 8}},
    {"full_screen", {19, 8}},
    {"star_outline", {16, 16}},
    {"star_filled", {16, 16}},
    {"app_icon", {32, 32}},
    {"about_logo", {142, 104}},
}};

// The application icon is redrawn for 16 pixels: the large drawing's detail turns to mud there.
constexpr const char* kSmallAppIcon = ":/pictures/app_icon_16.svg";
constexpr int kSmallAppIconSize = 16;

const Drawing& drawing(Artwork artwork) {
    return kDrawings.at(static_cast<std::size_t>(artwork));
}

QPixmap render(const QString& resource, QSize devicePixels) {
    loadArtworkResources();
    QPixmap pixmap(devicePixels);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(devicePixels)));
    return pixmap;
}

QString resourceFor(Artwork artwork, QSize devicePixels) {
    if (artwork == Artwork::AppIcon && devicePixels.width() <= kSmallAppIconSize)
        return QString::fromLatin1(kSmallAppIcon);
    return artworkResource(artwork);
}

QIcon buildIcon(Artwork artwork) {
    QIcon icon;
    if (artwork == Artwork::AppIcon) {
        // Desktops pick by pixel size, so each size is its own 1x picture.
        for (int side : {16, 32, 48, 64, 128, 256}) {
            const QSize size(side, side);
            icon.addPixmap(render(resourceFor(artwork, size), size));
        }
        return icon;
    }
    for (qreal ratio : {1.0, 2.0})
        icon.addPixmap(artworkPixmap(artwork, ratio));
    return icon;
}

std::map<Artwork, QIcon>& iconCache() {
    static std::map<Artwork, QIcon> icons;
    return icons;
}

bool cacheCleanupRegistered = false;

// Pixmaps must not outlive the application object that owns the graphics system.
void dropIconCache() {
    iconCache().clear();
    cacheCleanupRegistered = false;
}

}  // namespace

QSize artworkSize(Artwork artwork) {
    return drawing(artwork).size;
}

QString artworkResource(Artwork artwork) {
    return QStringLiteral(":/pictures/%1.svg").arg(QLatin1String(drawing(artwork).name));
}

QPixmap artworkPixmap(Artwork artwork, qreal devicePixelRatio) {
    const QSize devicePixels = artworkSize(artwork) * devicePixelRatio;
    QPixmap pixmap = render(resourceFor(artwork, devicePixels), devicePixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon artworkIcon(Artwork artwork) {
    auto& icons = iconCache();
    auto found = icons.find(artwork);
    if (found != icons.end())
        return found->second;
    if (!cacheCleanupRegistered && QCoreApplication::instance() != nullptr) {
        qAddPostRoutine(dropIconCache);
        cacheCleanupRegistered = true;
    }
    return icons.emplace(artwork, buildIcon(artwork)).first->second;
}

}  // namespace qova::ui
