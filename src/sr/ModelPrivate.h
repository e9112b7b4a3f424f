#pragma once

// Included only by the code that runs a network; keeps the inference library out of the public
// headers.

#include "Executor.h"
#include "Model.h"

#include <QLoggingCategory>
#include <mutex>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcModel)

struct Model::Private {
    QString path;
    // A network runs one input at a time: filling the input, running and reading the output
    // hold this.
    std::mutex lock;
    std::unique_ptr<sr::Executor> network;
    // Kept while a GPU runs the network, so that the CPU can take over.
    std::unique_ptr<sr::Graph> graph;
    // Where the network runs and why, with the timings that chose it.
    std::string choice;

    // After a GPU failure: the CPU runs the network for the rest of the process. Under the
    // lock; throws what building the CPU's network throws, and then the GPU's stays.
    void fallBackToCpu();
};
