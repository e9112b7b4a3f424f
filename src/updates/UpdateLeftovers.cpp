#include "UpdateLeftovers.h"

#include "core/FileNames.h"

#include <QDir>
#include <QUuid>

namespace UpdateLeftovers {

namespace {

QString prefix(Kind kind)
{
    switch (kind) {
    case Kind::download:
        return QStringLiteral(".tolvane-update-");
    case Kind::staging:
        return QStringLiteral(".tolvane-staging-");
    case Kind::oldTree:
        return QStringLiteral(".tolvane-old-");
    }
    return {};
}

// Exactly the names newPath() gives: the prefix and an upper-case UUID.
bool isUpdaterName(const QString& name, Kind kind)
{
    const QString rest = name.mid(prefix(kind).size());
    return name.startsWith(prefix(kind)) && rest.size() == 36 && rest == rest.toUpper() &&
           !QUuid::fromString(rest).isNull();
}

} // namespace

QString newPath(const QString& folder, Kind kind)
{
    return folder + u'/' + prefix(kind) + FileNames::newUuidString();
}

HeldEntry create(const QString& folder, Kind kind)
{
    // A clean-up of another Tolvane can take a name between its creation and its lock; a
    // second name then does.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString path = newPath(folder, kind);
        HeldEntry entry =
            kind == Kind::download ? HeldEntry::createFile(path) : HeldEntry::createFolder(path);
        if (entry.isValid())
            return entry;
    }
    return {};
}

void forEachUnused(const QString& folder, Kind kind, const std::function<bool(HeldEntry&)>& use)
{
    const QStringList names = QDir(folder).entryList(
        {prefix(kind) + u'*'}, QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (!isUpdaterName(name, kind))
            continue;
        HeldEntry entry = HeldEntry::claim(folder + u'/' + name);
        if (entry.isValid() && use(entry))
            return;
    }
}

void removeUnused(const QString& folder)
{
    for (const Kind kind : {Kind::download, Kind::staging, Kind::oldTree})
        forEachUnused(folder, kind, [](HeldEntry& entry) {
            entry.discard();
            return false;
        });
}

} // namespace UpdateLeftovers
