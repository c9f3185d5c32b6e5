#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace qova::ui {

/// The window's pictures, drawn as scalable images and rendered to the pixel sizes the layout
/// was made for.
enum class Artwork {
    Tv,
    Radio,
    Favourites,
    OnDemand,
    VideoSearch,
    StreamTest,
    Home,
    Stop,
    AddFavourite,
    RemoveFavourite,
    ArrowFold,
    ArrowUnfold,
    FullScreen,
    StarOutline,
    StarFilled,
    AppIcon,
    AboutLogo,
};

inline constexpr int kArtworkCount = static_cast<int>(Artwork::AboutLogo) + 1;

/// The picture's size in logical pixels, the size the layout leaves for it.
QSize artworkSize(Artwork artwork);

/// The resource path of the picture's drawing, for checks that the drawing loads.
QString artworkResource(Artwork artwork);

/// The picture at 1x and 2x, so it stays sharp on high-density screens. The application icon
/// carries the sizes desktops ask for, 16 to 256 pixels.
QIcon artworkIcon(Artwork artwork);

/// The picture rendered for one screen density: artworkSize() times the ratio in device pixels.
QPixmap artworkPixmap(Artwork artwork, qreal devicePixelRatio);

}  // namespace qova::ui
