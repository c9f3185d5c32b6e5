// The window's pictures load from the compiled-in drawings and render at the layout's sizes.
#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>
#include <QSvgRenderer>

#include "ui/artwork.h"

namespace qova::ui {
namespace {

QStringList* capturedWarnings = nullptr;

void captureWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && capturedWarnings != nullptr)
        capturedWarnings->append(message);
}

// The SVG reader skips what it cannot draw with only a warning, so warnings are failures.
class WarningCapture {
  public:
    WarningCapture() : previous_(qInstallMessageHandler(captureWarning)) {
        capturedWarnings = &warnings_;
    }
    ~WarningCapture() {
        qInstallMessageHandler(previous_);
        capturedWarnings = nullptr;
    }
    const QStringList& warnings() const { return warnings_; }

  private:
    QStringList warnings_;
    QtMessageHandler previous_;
};

bool hasVisiblePixels(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
        }
    }
    return false;
}

class ArtworkTest : public ::testing::TestWithParam<int> {
  protected:
    Artwork artwork() const { return static_cast<Artwork>(GetParam()); }
};

TEST_P(ArtworkTest, DrawingLoadsCleanlyAndRendersAtOneAndTwoTimesDensity) {
    WarningCapture capture;
    QSvgRenderer renderer(artworkResource(artwork()));
    EXPECT_TRUE(renderer.isValid()) << artworkResource(artwork()).toStdString();
    EXPECT_EQ(renderer.viewBox().size(), artworkSize(artwork()));
    const QIcon icon = artworkIcon(artwork());
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = icon.pixmap(artworkSize(artwork()), ratio);
        EXPECT_EQ(pixmap.size(), artworkSize(artwork()) * ratio) << "ratio " << ratio;
        EXPECT_TRUE(hasVisiblePixels(pixmap)) << "ratio " << ratio;
    }
    EXPECT_TRUE(capture.warnings().isEmpty()) << capture.warnings().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryPicture, ArtworkTest, ::testing::Range(0, kArtworkCount));

TEST(AppIconTest, CarriesTheDesktopSizesWithItsOwnSmallDrawing) {
    const QList<QSize> sizes = artworkIcon(Artwork::AppIcon).availableSizes();
    for (int side : {16, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    const QPixmap small = artworkPixmap(Artwork::AppIcon, 0.5);
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_TRUE(hasVisiblePixels(small));
}

}  // namespace
}  // namespace qova::ui
