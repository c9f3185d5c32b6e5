#pragma once

#include <QRect>

#include "platform/form_window.h"

namespace qova::ui {

/// A control's place in its container, in twips.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

/// Twips become logical pixels; Qt scales those to the screen's density.
inline QRect toPixels(TwipRect r) {
    const auto px = [](int twips) {
        // Rounded to the nearest pixel, halves away from zero, negative positions included.
        const int t = platform::kTwipsPerPixel;
        return twips >= 0 ? (twips + t / 2) / t : -((-twips + t / 2) / t);
    };
    return QRect(px(r.left), px(r.top), px(r.width), px(r.height));
}

namespace main_layout {
inline constexpr TwipRect kClientArea{0, 0, 11880, 9120};
inline constexpr TwipRect frmUpper{75, 0, 11805, 7065};
inline constexpr TwipRect cmdStopButton{0, 6600, 500, 450};
inline constexpr TwipRect imgHome{9900, 75, 1830, 1230};
inline constexpr TwipRect imgTVOnDemand{4950, 75, 1605, 1230};
inline constexpr TwipRect imgStreamTest{8250, 75, 1605, 1230};
inline constexpr TwipRect imgVideoSearch{6600, 75, 1605, 1230};
inline constexpr TwipRect imgFavorits{3300, 75, 1605, 1230};
inline constexpr TwipRect imgRadio{1650, 75, 1605, 1230};
inline constexpr TwipRect imgTV{0, 75, 1605, 1230};
inline constexpr TwipRect cmbCountry{0, 1425, 3390, 315};
inline constexpr TwipRect cmdFavorite{525, 6600, 500, 450};
inline constexpr TwipRect cmdRemoveFav{1050, 6600, 500, 420};
inline constexpr TwipRect cmdAddFav{1575, 6600, 500, 420};
inline constexpr TwipRect trView{0, 1875, 3390, 4665};
inline constexpr TwipRect wbMain{3450, 1425, 8280, 5130};
inline constexpr TwipRect wbDownload{-45, 7050, 30, 30};
inline constexpr TwipRect frmLower{75, 7125, 11730, 1935};
inline constexpr TwipRect wbArea{0, 225, 11730, 1665};
inline constexpr TwipRect imgDownArrow{10665, 75, 285, 120};
inline constexpr TwipRect imgArrow{11040, 75, 285, 120};
inline constexpr TwipRect imgFullScreen{11415, 75, 285, 120};
}  // namespace main_layout

}  // namespace qova::ui
