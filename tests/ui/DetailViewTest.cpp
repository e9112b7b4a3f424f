#include "detail/DetailView.h"
#include "detail/ComparePicture.h"
#include "detail/CompareView.h"
#include "detail/SingleImageView.h"
#include "detail/VectorPreview.h"
#include "kit/FitImage.h"
#include "kit/WrappingLabel.h"
#include "store/AppState.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <limits>

namespace {

using Kind = DetailView::Kind;

Item item(Item::Status status, QString output = {})
{
    Item result;
    result.id = QUuid::createUuid();
    result.path = QStringLiteral("/photos/a.png");
    result.status = std::move(status);
    result.outputPath = std::move(output);
    return result;
}

TEST(DetailViewChoice, FollowsTheItemAndItsResult)
{
    EXPECT_EQ(DetailView::choose(std::nullopt, ScaleFactor::x2).kind, Kind::dropHint);

    const Item traced = item(Item::Status::done(), "/out/a_2x.SVG");
    EXPECT_EQ(DetailView::choose(traced, ScaleFactor::x2).kind, Kind::vector);
    EXPECT_EQ(DetailView::choose(traced, ScaleFactor::x2).key, traced.outputPath);

    const Item enlarged = item(Item::Status::done(), "/out/a_2x.png");
    EXPECT_EQ(DetailView::choose(enlarged, ScaleFactor::x2).kind, Kind::compare);

    // Without a result the identity is the item, whatever its status.
    const Item waiting = item(Item::Status::pending());
    Item running = waiting;
    running.status = Item::Status::working(0.3);
    EXPECT_EQ(DetailView::choose(waiting, ScaleFactor::x4).kind, Kind::single);
    EXPECT_EQ(DetailView::choose(waiting, ScaleFactor::x4).key,
              DetailView::choose(running, ScaleFactor::x1).key);
}

TEST(DetailViewChoice, CaptionsTellTheStatus)
{
    auto caption = [](Item::Status status, ScaleFactor scale = ScaleFactor::x2) {
        return DetailView::caption(item(std::move(status)), scale);
    };
    EXPECT_EQ(caption(Item::Status::working(0.426)), QStringLiteral("Enhancing… 42%"));
    EXPECT_EQ(caption(Item::Status::working(0.999)), QStringLiteral("Enhancing… 99%"));
    EXPECT_EQ(caption(Item::Status::working(1.0)), QStringLiteral("Enhancing… 100%"));
    EXPECT_EQ(caption(Item::Status::working(std::numeric_limits<double>::quiet_NaN())),
              QStringLiteral("Enhancing… 0%"));
    EXPECT_EQ(caption(Item::Status::failed("Can't read a.png")),
              QStringLiteral("Can't read a.png"));
    EXPECT_EQ(caption(Item::Status::pending(), ScaleFactor::x1),
              QStringLiteral("Original · Choose a format, then Convert"));
    EXPECT_EQ(caption(Item::Status::done(), ScaleFactor::x16),
              QStringLiteral("Original · Choose a scale, then Enhance"));
}

class DetailViewTest : public ::testing::Test {
protected:
    DetailViewTest()
        : m_state(std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat))
    {
    }

    QString picture(const QString& name, QColor colour, QSize size = {60, 40})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = m_dir.filePath(name);
        image.save(path);
        return path;
    }

    void queueOne(const QString& path)
    {
        Item queued;
        queued.id = QUuid::createUuid();
        queued.path = path;
        queued.pixelSize = {60, 40};
        m_state.setItems({queued});
        m_state.setSelection(queued.id);
    }

    QTemporaryDir m_dir;
    AppState m_state;
};

// The caption shows every character of a long failure on as many lines as it needs, each line
// within the view, and never reads a file name as markup.
TEST(SingleImageView, WrapsALongCaptionAndKeepsItPlain)
{
    const QString failure = QStringLiteral(
        "Can't read 2026-08-14_the_long_summer_holiday_at_the_lake_with_everyone_again_late.png");
    SingleImageView view(QStringLiteral("/nowhere/gone.png"), failure);
    view.resize(300, 400);
    view.show();
    auto* caption = view.findChild<WrappingLabel*>();
    ASSERT_NE(caption, nullptr);
    QTest::qWait(0);
    const QFontMetrics metrics(caption->font());
    EXPECT_GE(caption->height(), 2 * metrics.height());
    EXPECT_LE(caption->geometry().right(), view.width());
    const QStringList lines = caption->lines(caption->width());
    EXPECT_EQ(lines.join(QString()), failure);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line.trimmed()), caption->width())
            << line.toStdString();

    const QString markup = QStringLiteral("Can't read <b>bold.png</b> <img src=\"/etc/x.png\">");
    view.setCaption(markup);
    EXPECT_EQ(caption->lines(4000), QStringList{markup});
    EXPECT_GE(caption->sizeHint().width(), metrics.horizontalAdvance(markup));
}

TEST_F(DetailViewTest, AScaleChangeOnlyChangesTheCaption)
{
    queueOne(picture("a.png", Qt::red));
    m_state.setScale(ScaleFactor::x1);
    const int loads = SingleImageView::previewLoadCount();
    DetailView view(m_state);
    auto* single = qobject_cast<SingleImageView*>(view.content());
    ASSERT_TRUE(single);
    EXPECT_EQ(single->caption(), QStringLiteral("Original · Choose a format, then Convert"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return single->hasImage(); }, 5000));

    m_state.setScale(ScaleFactor::x4);
    EXPECT_EQ(view.content(), single);
    EXPECT_EQ(single->caption(), QStringLiteral("Original · Choose a scale, then Enhance"));
    EXPECT_EQ(SingleImageView::previewLoadCount(), loads + 1);
}

TEST_F(DetailViewTest, ABatchTicksWithoutReloadingThenComparesAFreshResult)
{
    const QString source = picture("a.png", Qt::red);
    queueOne(source);
    DetailView view(m_state);
    const int loads = SingleImageView::previewLoadCount();
    auto* single = qobject_cast<SingleImageView*>(view.content());
    ASSERT_TRUE(QTest::qWaitFor([&] { return single->hasImage(); }, 5000));
    QStringList captions;
    QImage standIn; // what the new comparison shows while it gets ready
    QObject::connect(&m_state, &AppState::itemChanged, &view, [&] {
        if (auto* shown = qobject_cast<SingleImageView*>(view.content()))
            captions << shown->caption();
        else if (auto* compare = qobject_cast<CompareView*>(view.content());
                 compare && standIn.isNull())
            standIn = compare->picture()->placeholder()->image();
    });
    const QString result = picture("a_2x.png", Qt::blue, {120, 80});
    m_state.setPipelineRun([result](const QString&, const JobSettings&, const CancelToken&,
                                    const Pipeline::Progress& progress) {
        for (double fraction : {0.25, 0.5, 0.75}) {
            progress(fraction);
            QThread::msleep(20);
        }
        return result;
    });
    QSignalSpy finished(&m_state, &AppState::batchFinished);
    m_state.start();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(captions.contains(QStringLiteral("Enhancing… 50%")));
    EXPECT_EQ(SingleImageView::previewLoadCount(), loads) << "ticks never reload";
    EXPECT_NE(view.content(), single);

    auto* compare = qobject_cast<CompareView*>(view.content());
    ASSERT_TRUE(compare);
    ASSERT_FALSE(standIn.isNull()) << "the source shown so far stands in";
    EXPECT_EQ(standIn.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(compare->split(), 0.5);
    EXPECT_EQ(compare->zoom(), 1);
}

TEST_F(DetailViewTest, ClearingTheQueueShowsTheDropHint)
{
    queueOne(picture("a.png", Qt::red));
    DetailView view(m_state);
    ASSERT_EQ(view.kind(), Kind::single);
    QPointer<QWidget> old = view.content();
    m_state.setItems({});
    EXPECT_EQ(view.kind(), Kind::dropHint);
    EXPECT_FALSE(view.content());
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(old) << "the old view is deleted";
}

} // namespace
