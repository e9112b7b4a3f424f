#pragma once

// Included only by the code that runs a network; keeps OpenCV out of the public headers.

#include "Model.h"

#include <QLoggingCategory>
#include <mutex>
#include <opencv2/dnn.hpp>

Q_DECLARE_LOGGING_CATEGORY(lcModel)

struct Model::Private {
    QString path;
    // cv::dnn::Net is not thread-safe: setInput, forward and reading the result hold this.
    std::mutex lock;
    cv::dnn::Net net;
};
