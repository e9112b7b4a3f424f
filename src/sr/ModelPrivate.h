#pragma once

// Included only by the code that runs a network; keeps the inference library out of the public
// headers.

#include "Model.h"
#include "Network.h"

#include <QLoggingCategory>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcModel)

struct Model::Private {
    QString path;
    // A network runs one input at a time: filling the input, running and reading the output
    // hold this.
    std::mutex lock;
    std::unique_ptr<sr::Network> network;
};
