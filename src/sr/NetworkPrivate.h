#pragma once

// The CPU executor's insides, shared by the file that builds its steps and the one that picks
// how each convolution runs.

#include "Network.h"
#include "Plan.h"

#include <oneapi/dnnl/dnnl.hpp>

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sr {

using dnnl::algorithm;
using dnnl::memory;
using Tag = memory::format_tag;
constexpr auto f32 = memory::data_type::f32;
constexpr auto inference = dnnl::prop_kind::forward_inference;

// A way to run a convolution: the algorithm, whether the library picks the source layout (the
// source is then reordered into memory of the step's own first) and how many of the step's
// post-operations the library applies; an element-wise pass applies the rest.
struct ConvWay {
    algorithm alg = algorithm::convolution_direct;
    bool anySource = false;
    size_t fused = 0;
};

struct Network::Impl {
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };
    using Buffer = std::unique_ptr<std::byte, FreeDeleter>;

    struct Run {
        dnnl::primitive primitive;
        std::unordered_map<int, memory> args;
        memory::desc scratchpad;
        std::function<void()> custom;
        std::string name;
    };

    Plan plan;
    double multiplyAdds = 0;
    int threads = 1;
    dnnl::engine engine{dnnl::engine::kind::cpu, 0};
    dnnl::stream stream{engine};
    std::vector<Buffer> slots;
    Buffer scratch;
    std::vector<memory> memories;          // per value, empty where none
    std::deque<std::vector<float>> slopes; // PRelu slopes, kept where the passes read them
    std::vector<Run> runs;
    std::map<std::string, int> kernels;
    int convolutions = 0;
    int winograd = 0;

    float* pointer(int value) const;
    memory::desc describe(int value) const;
    memory& mem(int value);
    dnnl::primitive_attr attributes(const Step& step, size_t fused, Run& run);
    memory constant(const Constant& c, const memory::dims& dims, Tag tag,
                    const memory::desc& wanted);
    Run pass(const Step& step, size_t first);
    std::vector<Run> convolution(const Step& step, const ConvWay& way);
    std::pair<ConvWay, std::vector<Run>> fastestConvolution(const Step& step);
    std::vector<double> shortestMs(std::vector<std::vector<Run>*> candidates);
    void execute(std::vector<Run>& list);
    void build(const Step& step);
    void buildConv(const Step& step);
    void buildCustom(const Step& step, Run& run);
    void commit(Run run);
    // The primitive of the descriptor, with what it needs beside its arguments.
    template <typename Primitive, typename Pd> static void keep(const Pd& pd, Run& run)
    {
        run.primitive = Primitive(pd);
        run.scratchpad = pd.scratchpad_desc();
        run.name = pd.impl_info_str();
    }

    // Zeroed, cache-line aligned memory; zeroed so that padding channels never hold NaNs.
    static Buffer allocate(std::int64_t bytes);
    // Index of the first PRelu among the step's post-operations; their count if none.
    static size_t firstPrelu(const Step& step);
};

} // namespace sr
