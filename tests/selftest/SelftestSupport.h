#pragma once

#include "sr/ModelStore.h"
#include "pipeline/Pipeline.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

// The real pipeline with the nearest-neighbour test model standing in for both models, so a
// whole self-test takes well under a second.
class FastPipeline {
public:
    FastPipeline();
    Pipeline::Runner runner();

private:
    QTemporaryDir m_models;
    std::unique_ptr<ModelStore> m_store;
};

// Collects what a function prints to a FILE*.
class CapturedOutput {
public:
    CapturedOutput();
    ~CapturedOutput();
    std::FILE* file() { return m_file; }
    QStringList lines();

private:
    char* m_buffer = nullptr;
    size_t m_size = 0;
    std::FILE* m_file;
};
