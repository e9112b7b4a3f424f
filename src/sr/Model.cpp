#include "Model.h"

#include "FastestUnit.h"
#include "ModelPrivate.h"
#include "Network.h"
#include "VulkanNetwork.h"
#include "core/EngineError.h"
#include "core/FileNames.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <new>
#include <oneapi/dnnl/dnnl.hpp>

Q_LOGGING_CATEGORY(lcModel, "tolvane.model")

namespace {

// The network is built for one tile: RGB planes of 256 x 256.
constexpr sr::Shape tileShape{1, 3, 256, 256};
// Far above any network we ship; a larger file is not one of ours.
constexpr qint64 maxFileBytes = qint64(1) << 30;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes)
        throw sr::GraphError("cannot read the file");
    return file.readAll();
}

// The fastest unit, by measurement, or the one the caller asked for.
void readNetwork(Model::Private& d, sr::Inference inference)
{
    const QByteArray bytes = readFile(d.path);
    sr::Graph graph = sr::readGraph(bytes.toStdString(), tileShape);
    const QString name = FileNames::lastPathComponent(d.path);
    bool onGpu = false;
    if (inference == sr::Inference::cpu) {
        d.network = std::make_unique<sr::Network>(graph);
        d.choice = "oneDNN on the CPU, as asked";
    } else if (inference == sr::Inference::vulkan) {
        d.network = sr::loadOnGpu(graph, true);
        d.choice = d.network->device() + ", as asked";
        onGpu = true;
        qCInfo(lcModel).noquote() << name << "runs on" << d.choice.c_str();
    } else {
        const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        sr::UnitChoice choice = sr::fastestUnit(graph, digest.toHex(), QFileInfo(d.path).baseName(),
                                                inference == sr::Inference::measure);
        d.network = std::move(choice.executor);
        d.choice = std::move(choice.report);
        onGpu = choice.onGpu;
    }
    if (onGpu)
        d.graph = std::make_unique<sr::Graph>(std::move(graph));
}

PlatformError cannotLoad(const QString& path)
{
    return PlatformError(
        QStringLiteral("Can't load the model %1").arg(FileNames::lastPathComponent(path)));
}

} // namespace

Model::Model(std::unique_ptr<Private> d) : m_d(std::move(d)) {}

Model::~Model() = default;

void Model::Private::fallBackToCpu()
{
    network = std::make_unique<sr::Network>(*graph);
    graph.reset();
}

std::shared_ptr<Model> Model::load(const QString& path)
{
    return load(path, sr::inferenceFromEnvironment());
}

std::shared_ptr<Model> Model::load(const QString& path, sr::Inference inference)
{
    auto d = std::make_unique<Private>();
    d->path = path;
    try {
        readNetwork(*d, inference);
    } catch (const sr::DeviceError& error) {
        qCWarning(lcModel) << FileNames::lastPathComponent(path) << error.what();
        throw cannotLoad(path);
    } catch (const sr::GraphError& error) {
        qCWarning(lcModel) << FileNames::lastPathComponent(path) << error.what();
        throw cannotLoad(path);
    } catch (const dnnl::error& error) {
        qCWarning(lcModel) << FileNames::lastPathComponent(path) << error.what();
        if (error.status == dnnl_out_of_memory)
            throw ImageError::outOfMemory();
        throw cannotLoad(path);
    } catch (const std::bad_alloc&) {
        throw ImageError::outOfMemory();
    }
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
