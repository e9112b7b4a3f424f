#pragma once

#include "Inference.h"

#include <QString>
#include <memory>

// One loaded super-resolution network: input "input" [1, 3, 256, 256], RGB in 0…1; output
// [1, 3, 1024, 1024] in 0…1. Runs are serialised by the model's own lock, so one model may be
// shared between threads.
class Model {
public:
    // Reads an ONNX file for a GPU where one works, else the CPU (see sr::Inference; the
    // default comes from the environment). Throws PlatformError naming the file, or
    // ImageError::outOfMemory.
    static std::shared_ptr<Model> load(const QString& path);
    static std::shared_ptr<Model> load(const QString& path, sr::Inference inference);

    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    QString path() const;
    // The file's last path component, for messages.
    QString fileName() const;

    // The network and its lock, defined in ModelPrivate.h for the code that runs it.
    struct Private;
    Private& d() const { return *m_d; }

private:
    explicit Model(std::unique_ptr<Private> d);

    std::unique_ptr<Private> m_d;
};
