#include "ModelStore.h"

#include "core/EngineError.h"
#include "Model.h"
#include "core/Resources.h"

#include <QDir>
#include <QFileInfo>

ModelStore& ModelStore::shared()
{
    // Never destroyed: networks released during exit could outlive the inference threads.
    static ModelStore* const store = new ModelStore({});
    return *store;
}

ModelStore::ModelStore(QStringList folders) : m_folders(std::move(folders)) {}

std::shared_ptr<Model> ModelStore::model(SRModel kind)
{
    // Held across the search and the load, so a model is never loaded twice at once.
    std::lock_guard lock(m_lock);
    if (const auto found = m_cache.find(kind); found != m_cache.end())
        return found->second;
    const QString name = rawValue(kind);
    const QString path = locate(name + QStringLiteral(".onnx"));
    if (path.isEmpty())
        throw UpscaleError::modelMissing(name);
    std::shared_ptr<Model> model = Model::load(path);
    m_cache.emplace(kind, model);
    return model;
}

QStringList ModelStore::defaultSearchFolders()
{
    return {Resources::folder() + QStringLiteral("/Models"),
            QDir::currentPath() + QStringLiteral("/Models"),
            QStringLiteral(TOLVANE_SOURCE_DIR "/resources/Models")};
}

QString ModelStore::locate(const QString& fileName) const
{
    const QStringList folders = m_folders.isEmpty() ? defaultSearchFolders() : m_folders;
    for (const QString& folder : folders) {
        const QString path = folder + u'/' + fileName;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}
