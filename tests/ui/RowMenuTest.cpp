#include "ui/window/RowMenu.h"

#include "UiSupport.h"
#include "ui/kit/Workspace.h"

#include <gtest/gtest.h>
#include <memory>

using UiSupport::item;

namespace {
QStringList texts(const QMenu& menu)
{
    QStringList shown;
    for (const QAction* action : menu.actions())
        shown << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return shown;
}

struct RevealRecorder {
    QStringList revealed;
    Workspace::RevealHook previous =
        Workspace::setRevealHook([this](const QString& path) { revealed.append(path); });
    ~RevealRecorder() { Workspace::setRevealHook(previous); }
};
} // namespace

TEST(RowMenu, ResultEntryOnlyWithAnOutput)
{
    RevealRecorder recorder;
    const Item waiting = item("a.png", {10, 10});
    std::unique_ptr<QMenu> plain(buildRowMenu(waiting));
    EXPECT_EQ(texts(*plain), (QStringList{"Show Original in Folder", "—", "Remove"}));

    const Item done = item("b.png", {10, 10}, Item::Status::done(), "/out/b_2x.png", QSize(20, 20));
    std::unique_ptr<QMenu> full(buildRowMenu(done));
    EXPECT_EQ(texts(*full),
              (QStringList{"Show Original in Folder", "Show Result in Folder", "—", "Remove"}));
    for (QAction* action : full->actions())
        EXPECT_TRUE(action->isEnabled());

    full->actions().at(0)->trigger();
    full->actions().at(1)->trigger();
    EXPECT_EQ(recorder.revealed, (QStringList{"/photos/b.png", "/out/b_2x.png"}));
}

TEST(RowMenu, RemoveCarriesItsOwnRowWhateverIsSelected)
{
    UiSupport::StoreFixture f;
    const Item a = item("a.png", {1, 1}), b = item("b.png", {1, 1});
    f.state().setItems({a, b});
    f.state().setSelection(a.id);
    std::unique_ptr<QMenu> menu(buildRowMenu(b));
    QAction* remove = removeEntry(*menu);
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->data().toUuid(), b.id);
}
