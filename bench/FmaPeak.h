#pragma once

#include <QString>

// The machine's measured single-precision peak: every core runs independent chains of fused
// multiply-adds on the widest vectors it has (512-bit with AVX-512, else 256-bit with FMA3).
struct FmaPeak {
    double flops = 0; // per second, all cores together
    int cores = 0;
    int vectorBits = 0;
    QString describe() const; // e.g. "1657 GFLOPS measured on 8 cores x 512-bit FMA"
};

// About a tenth of a second: the best of a few rounds in which every core runs the same burst,
// so that a round another process interrupted does not lower the figure.
FmaPeak measureFmaPeak();
