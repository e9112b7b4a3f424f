#include "CompareView.h"

#include "CompareCanvas.h"
#include "ComparePicture.h"
#include "core/Async.h"
#include "imageio/ImageLoader.h"
#include "kit/AquaButton.h"
#include "kit/Divider.h"
#include "kit/SegmentedControl.h"
#include "kit/Workspace.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace {
constexpr int sliderSteps = 10000;
constexpr int previewSide = 4096;
const int zooms[] = {1, 2, 4, 8};
} // namespace

CompareView::CompareView(const QString& beforePath, const QString& afterPath, const QImage& shown,
                         QWidget* parent)
    : QWidget(parent), m_beforePath(beforePath), m_afterPath(afterPath),
      m_picture(new ComparePicture)
{
    m_picture->setPlaceholder(shown);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_picture, 1);
    layout->addWidget(new Divider);
    layout->addWidget(makeControls());
    connect(m_picture->canvas(), &CompareCanvas::splitDragged, this, [this](double split) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(int(std::lround(split * sliderSteps)));
    });
    load();
}

QWidget* CompareView::makeControls()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 8, 12, 8);
    m_zoom = new SegmentedControl({tr("Fit"), tr("2×"), tr("4×"), tr("8×")});
    m_zoom->setAccessibleName(tr("Zoom"));
    m_zoom->setFixedWidth(150);
    m_zoom->setCurrentIndex(0);
    connect(m_zoom, &SegmentedControl::activated, this,
            [this](int index) { m_picture->setZoom(zooms[index]); });
    layout->addWidget(m_zoom);
    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setRange(0, sliderSteps);
    m_slider->setValue(sliderSteps / 2);
    m_slider->setMinimumWidth(60);
    m_slider->setMaximumWidth(120);
    m_slider->setAccessibleName(tr("Before and after split"));
    m_slider->setToolTip(tr("Adjust the before and after comparison"));
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int value) { m_picture->canvas()->setSplit(double(value) / sliderSteps); });
    layout->addWidget(m_slider);
    layout->addStretch(1);
    auto* reveal = new AquaButton;
    reveal->setSymbol(QStringLiteral("folder"));
    reveal->setToolTip(tr("Show result in Folder"));
    reveal->setAccessibleName(tr("Show result in Folder"));
    connect(reveal, &QAbstractButton::clicked, this, [this] { Workspace::reveal(m_afterPath); });
    layout->addWidget(reveal);
    return row;
}

double CompareView::split() const
{
    return m_picture->canvas()->split();
}

int CompareView::zoom() const
{
    return m_picture->zoom();
}

// One preview after the other, never both at once; a late result for a closed view is dropped.
void CompareView::load()
{
    whenFinished(ImageLoader::preview(m_beforePath, previewSide), this, [this](QImage before) {
        whenFinished(
            ImageLoader::preview(m_afterPath, previewSide), this, [this, before](QImage after) {
                if (before.isNull() || after.isNull())
                    return; // the spinner stays
                const auto pixels = ImageLoader::pixelSize(m_afterPath);
                m_picture->setImages(before, after, QSizeF(pixels ? *pixels : after.size()));
            });
    });
}
