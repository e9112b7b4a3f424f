#include "Model.h"

#include "core/EngineError.h"
#include "core/FileNames.h"
#include "ModelPrivate.h"

#include <QFile>
#include <mutex>
#include <new>
#include <opencv2/core/utils/logger.hpp>

Q_LOGGING_CATEGORY(lcModel, "tolvane.model")

namespace {

// OpenCV writes its own diagnostics to standard error; ours go through lcModel instead.
void setUpOpenCv()
{
    static std::once_flag once;
    std::call_once(once,
                   [] { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT); });
}

cv::dnn::Net readNet(const QString& path)
{
    cv::dnn::Net net = cv::dnn::readNetFromONNX(QFile::encodeName(path).toStdString());
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return net;
}

PlatformError cannotLoad(const QString& path)
{
    return PlatformError(
        QStringLiteral("Can't load the model %1").arg(FileNames::lastPathComponent(path)));
}

} // namespace

Model::Model(std::unique_ptr<Private> d) : m_d(std::move(d)) {}

Model::~Model() = default;

std::shared_ptr<Model> Model::load(const QString& path)
{
    setUpOpenCv();
    auto d = std::make_unique<Private>();
    d->path = path;
    try {
        d->net = readNet(path);
    } catch (const cv::Exception& error) {
        qCWarning(lcModel) << FileNames::lastPathComponent(path) << error.what();
        if (error.code == cv::Error::StsNoMem)
            throw ImageError::outOfMemory();
        throw cannotLoad(path);
    } catch (const std::bad_alloc&) {
        throw ImageError::outOfMemory();
    }
    if (d->net.empty())
        throw cannotLoad(path);
    return std::shared_ptr<Model>(new Model(std::move(d)));
}

QString Model::path() const
{
    return m_d->path;
}

QString Model::fileName() const
{
    return FileNames::lastPathComponent(m_d->path);
}
