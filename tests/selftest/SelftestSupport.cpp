#include "SelftestSupport.h"

#include "TestSupport.h"

#include <QFile>
#include <cstdlib>

FastPipeline::FastPipeline()
{
    const QString folder =
        TestSupport::nearestModelFolder(m_models.path(), QStringLiteral("PhotoX4"));
    QFile::copy(folder + QStringLiteral("/PhotoX4.onnx"),
                folder + QStringLiteral("/IllustrationX4.onnx"));
    m_store = std::make_unique<ModelStore>(QStringList{folder});
}

Pipeline::Runner FastPipeline::runner()
{
    return [store = m_store.get()](const QString& path, const JobSettings& settings,
                                   const CancelToken& token, const Pipeline::Progress& progress) {
        return Pipeline::run(path, settings, token, progress, *store);
    };
}

CapturedOutput::CapturedOutput() : m_file(open_memstream(&m_buffer, &m_size)) {}

CapturedOutput::~CapturedOutput()
{
    std::fclose(m_file);
    std::free(m_buffer);
}

QStringList CapturedOutput::lines()
{
    std::fflush(m_file);
    QStringList result = QString::fromUtf8(m_buffer, qsizetype(m_size)).split(u'\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}
