#pragma once

#include "core/JobSettings.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <mutex>

class Model;

// Finds and loads the two super-resolution models once per process and keeps them.
class ModelStore {
public:
    // The process-wide store, searching the default folders.
    static ModelStore& shared();

    // A store searching the given folders in order (tests).
    explicit ModelStore(QStringList folders);

    // The loaded model for the kind. Throws UpscaleError::modelMissing naming the raw value when
    // no folder holds "<raw>.onnx", or PlatformError when it cannot be loaded; nothing is
    // cached after a failure.
    std::shared_ptr<Model> model(SRModel kind);

    // Resource folder's Models, the current directory's Models, the source tree's Models.
    static QStringList defaultSearchFolders();

private:
    // The first search folder's path of the file, or empty.
    QString locate(const QString& fileName) const;

    QStringList m_folders; // empty: the default folders, built anew on every search
    std::mutex m_lock;
    std::map<SRModel, std::shared_ptr<Model>> m_cache;
};
