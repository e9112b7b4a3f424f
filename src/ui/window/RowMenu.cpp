#include "RowMenu.h"

#include "core/Item.h"
#include "kit/Workspace.h"

namespace {
const char* const removeName = "remove";
} // namespace

QMenu* buildRowMenu(const Item& item, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QString original = item.path;
    menu->addAction(QStringLiteral("Show Original in Folder"), menu,
                    [original] { Workspace::reveal(original); });
    if (!item.outputPath.isEmpty()) {
        const QString result = item.outputPath;
        menu->addAction(QStringLiteral("Show Result in Folder"), menu,
                        [result] { Workspace::reveal(result); });
    }
    menu->addSeparator();
    QAction* remove = menu->addAction(QStringLiteral("Remove"));
    remove->setObjectName(removeName);
    remove->setData(item.id);
    return menu;
}

QAction* removeEntry(const QMenu& menu)
{
    return menu.findChild<QAction*>(removeName);
}
