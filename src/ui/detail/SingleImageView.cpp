#include "SingleImageView.h"

#include "core/Async.h"
#include "imageio/ImageLoader.h"
#include "kit/FitImage.h"
#include "kit/Spinner.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"
#include "kit/WrappingLabel.h"

#include <QStackedLayout>
#include <QVBoxLayout>
#include <atomic>

namespace {
std::atomic<int> loads{0};
constexpr int previewSide = 2048;
} // namespace

SingleImageView::SingleImageView(const QString& path, const QString& caption, QWidget* parent)
    : QWidget(parent), m_stack(new QStackedLayout), m_image(new FitImage),
      m_caption(new WrappingLabel(caption))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    auto* spinnerBox = new QWidget;
    auto* spinnerLayout = new QVBoxLayout(spinnerBox);
    spinnerLayout->addWidget(new Spinner, 0, Qt::AlignCenter);
    m_stack->addWidget(spinnerBox);
    auto* imageBox = new QWidget;
    auto* imageLayout = new QVBoxLayout(imageBox);
    imageLayout->setContentsMargins(16, 16, 16, 16);
    imageLayout->addWidget(m_image);
    m_stack->addWidget(imageBox);
    layout->addLayout(m_stack, 1);
    m_caption->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::callout));
    TextLabel::setColour(m_caption, TolvaneTheme::muted());
    // Failure messages name files and can be long: wrapped, centred, never clipped.
    m_caption->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_caption);

    ++loads;
    whenFinished(ImageLoader::preview(path, previewSide), this, [this](const QImage& image) {
        if (image.isNull())
            return; // an unreadable source keeps the spinner
        m_image->setImage(image);
        m_stack->setCurrentIndex(1);
    });
}

void SingleImageView::setCaption(const QString& caption)
{
    m_caption->setText(caption);
}

QString SingleImageView::caption() const
{
    return m_caption->text();
}

bool SingleImageView::hasImage() const
{
    return m_stack->currentIndex() == 1;
}

QImage SingleImageView::image() const
{
    return m_image->image();
}

int SingleImageView::previewLoadCount()
{
    return loads;
}
