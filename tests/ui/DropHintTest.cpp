#include "ui/window/DropHint.h"

#include "UiSupport.h"
#include "ui/kit/AquaButton.h"
#include "ui/kit/FitImage.h"

#include <QLabel>
#include <QLayout>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QStringList labelTexts(const QWidget& widget)
{
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}
} // namespace

TEST(DropHint, CompactFormIsOnlyTheInvitation)
{
    UiSupport::StoreFixture f;
    DropHint hint(f.state(), true);
    EXPECT_EQ(hint.chooseButton(), nullptr);
    EXPECT_EQ(hint.findChildren<QPushButton*>().size(), 0);
    EXPECT_EQ(hint.findChildren<FitImage*>().size(), 0);
    EXPECT_EQ(labelTexts(hint),
              (QStringList{"Start with an image", "Drop images or folders here"}));
}

TEST(DropHint, FullFormWithoutArtworkStartsWithTheHeadline)
{
    UiSupport::StoreFixture f;
    DropHint hint(f.state(), false);
    EXPECT_EQ(hint.findChildren<FitImage*>().size(), 0);
    const QStringList texts = labelTexts(hint);
    ASSERT_GE(texts.size(), 4);
    EXPECT_EQ(texts[0], QStringLiteral("Bigger, cleaner, yours"));
    EXPECT_TRUE(texts.contains(QStringLiteral("OR DROP IMAGES ANYWHERE IN THIS WINDOW")));
    EXPECT_TRUE(texts.contains(QStringLiteral("On-device AI")));
    ASSERT_NE(hint.chooseButton(), nullptr);
    EXPECT_EQ(hint.chooseButton()->text(), QStringLiteral("Choose Images…"));
    EXPECT_TRUE(hint.chooseButton()->isProminent());
}

TEST(DropHint, ChooseIsDisabledOnlyWhileImporting)
{
    UiSupport::StoreFixture f;
    DropHint hint(f.state(), false);
    AquaButton* choose = hint.chooseButton();
    choose->click();
    EXPECT_EQ(f.panelCalls(), 1);

    ASSERT_TRUE(f.beginHeldImport());
    EXPECT_FALSE(choose->isEnabled());
    ASSERT_TRUE(f.finishImport());
    EXPECT_TRUE(choose->isEnabled());

    f.state().setItems({UiSupport::item("a.png", {4, 4})});
    ASSERT_TRUE(f.startHeldBatch());
    EXPECT_TRUE(choose->isEnabled()) << "enabled while a batch runs";
    choose->click();
    EXPECT_EQ(f.panelCalls(), 1) << "but no panel opens";
}

TEST(DropHint, TheHeadlineWrapsInANarrowAreaAndIsNeverCut)
{
    UiSupport::StoreFixture f;
    DropHint hint(f.state(), false);
    hint.resize(336, 600);
    hint.show();
    QTest::qWait(10);
    auto* headline = hint.findChild<QLabel*>();
    ASSERT_NE(headline, nullptr);
    ASSERT_EQ(headline->text(), QStringLiteral("Bigger, cleaner, yours"));
    const int line = QFontMetrics(headline->font()).height();
    EXPECT_GE(headline->height(), 2 * line - 2);
    EXPECT_GE(headline->height(), headline->heightForWidth(headline->width()));
    EXPECT_LE(headline->geometry().right(), hint.width() - 32);
    // The hint asks its parent for enough height to show every wrapped line.
    EXPECT_GE(hint.layout()->totalHeightForWidth(336), headline->heightForWidth(336 - 64) + 64);
}
