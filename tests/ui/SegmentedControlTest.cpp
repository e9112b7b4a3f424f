#include "ui/kit/SegmentedControl.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
struct Fixture {
    SegmentedControl control{
        {QStringLiteral("Enhance"), QStringLiteral("Convert"), QStringLiteral("Vector")}};
    QSignalSpy spy{&control, &SegmentedControl::activated};
    Fixture()
    {
        control.resize(240, control.sizeHint().height());
        control.show();
    }
    void click(int segment)
    {
        QTest::mouseClick(&control, Qt::LeftButton, {}, control.segmentRect(segment).center());
    }
};
} // namespace

TEST(SegmentedControl, SignalsOnlyUserChoicesOfAnotherSegment)
{
    Fixture f;
    f.control.setCurrentIndex(0);
    EXPECT_EQ(f.spy.count(), 0); // set from code: silent

    f.click(2);
    ASSERT_EQ(f.spy.count(), 1);
    EXPECT_EQ(f.spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(f.control.currentIndex(), 2);

    f.click(2); // already current: nothing
    EXPECT_EQ(f.spy.count(), 1);

    f.control.setCurrentIndex(1);
    EXPECT_EQ(f.spy.count(), 1);
    EXPECT_EQ(f.control.currentIndex(), 1);
}

TEST(SegmentedControl, PressAndReleaseMustHitTheSameSegment)
{
    Fixture f;
    f.control.setCurrentIndex(0);
    QTest::mousePress(&f.control, Qt::LeftButton, {}, f.control.segmentRect(1).center());
    QTest::mouseRelease(&f.control, Qt::LeftButton, {}, f.control.segmentRect(2).center());
    EXPECT_EQ(f.spy.count(), 0);
    EXPECT_EQ(f.control.currentIndex(), 0);
}

TEST(SegmentedControl, ArrowKeysMoveTheChoiceWithinBounds)
{
    Fixture f;
    f.control.setCurrentIndex(1);
    QTest::keyClick(&f.control, Qt::Key_Right);
    QTest::keyClick(&f.control, Qt::Key_Right); // past the end: nothing
    QTest::keyClick(&f.control, Qt::Key_Left);
    ASSERT_EQ(f.spy.count(), 2);
    EXPECT_EQ(f.spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(f.spy.at(1).at(0).toInt(), 1);
}

TEST(SegmentedControl, SegmentsShareTheWidthAndIgnoreClicksWhenDisabled)
{
    Fixture f;
    f.control.resize(301, f.control.height());
    int covered = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(f.control.segmentRect(i).width(), 100, 1);
        EXPECT_EQ(f.control.segmentRect(i).left(), covered);
        covered += f.control.segmentRect(i).width();
    }
    EXPECT_EQ(covered, 301);

    f.control.setEnabled(false);
    f.click(1);
    EXPECT_EQ(f.spy.count(), 0);

    f.control.setCurrentIndex(2);
    f.control.setSegments({QStringLiteral("Fit"), QStringLiteral("2×")}); // index gone
    EXPECT_EQ(f.control.currentIndex(), -1);
}
