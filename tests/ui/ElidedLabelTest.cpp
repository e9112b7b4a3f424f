#include "ui/kit/ElidedLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <gtest/gtest.h>

TEST(ElidedLabel, ElidesInTheMiddleAndAgainOnEveryResize)
{
    const QString name = QStringLiteral("a-very-long-holiday-photo-name-from-the-camera-0042.heic");
    ElidedLabel label(name);
    label.show();
    const int full = label.sizeHint().width();

    label.resize(full, label.sizeHint().height());
    EXPECT_EQ(label.shownText(), name);

    label.resize(full / 2, label.height());
    const QString half = label.shownText();
    EXPECT_NE(half, name);
    EXPECT_TRUE(half.contains(QStringLiteral("…")));
    // Both ends survive a middle elision: the start and the extension.
    EXPECT_TRUE(half.startsWith(QStringLiteral("a-very")));
    EXPECT_TRUE(half.endsWith(QStringLiteral(".heic")));
    EXPECT_LE(label.fontMetrics().horizontalAdvance(half), full / 2);

    label.resize(full / 4, label.height());
    EXPECT_LT(label.shownText().size(), half.size());

    label.resize(full + 10, label.height());
    EXPECT_EQ(label.shownText(), name);
}

TEST(ElidedLabel, NewTextAndFontAreElidedAtTheCurrentWidth)
{
    ElidedLabel label(QStringLiteral("short.png"));
    label.show();
    label.resize(80, 20);
    EXPECT_EQ(label.shownText(), QStringLiteral("short.png"));

    label.setText(QString(60, QLatin1Char('x')));
    EXPECT_TRUE(label.shownText().contains(QStringLiteral("…")));
    EXPECT_EQ(label.text(), QString(60, QLatin1Char('x')));
    EXPECT_EQ(label.accessibleName(), label.text());

    label.setText(QStringLiteral("wide.png"));
    QFont big = label.font();
    big.setPixelSize(60);
    label.setFont(big);
    EXPECT_TRUE(label.shownText().contains(QStringLiteral("…")));
}

TEST(ElidedLabel, StaysOneLineAndNeverWidensItsLayout)
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* label = new ElidedLabel(QString(400, QLatin1Char('m')) + QStringLiteral("\nsecond"));
    auto* size = new QLabel(QStringLiteral("1024 × 768 px"));
    layout->addWidget(label, 1);
    layout->addWidget(size);
    row.resize(300, 40);
    row.show();

    EXPECT_FALSE(label->shownText().contains(QLatin1Char('\n')));
    EXPECT_LE(row.minimumSizeHint().width(), 300);
    // The neighbour keeps its whole width at the right.
    EXPECT_GE(size->width(), size->sizeHint().width());
    EXPECT_LE(size->geometry().right(), 300);
}
