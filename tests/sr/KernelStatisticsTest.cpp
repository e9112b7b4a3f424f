#include "sr/KernelStatistics.h"
#include "sr/VulkanKernels.h"
#include "sr/VulkanProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

std::string valueOf(const sr::KernelStatistics& kernel, const std::string& name)
{
    for (const auto& [key, value] : kernel.values)
        if (key == name)
            return value;
    return {};
}

// Runs this test again in a process that sees only RADV's null device: AMD's production
// compiler on any machine, no GPU needed.
void runOnRadvNullDevice(const char* test)
{
    const QDir icds(QStringLiteral("/usr/share/vulkan/icd.d"));
    const QStringList radv = icds.entryList({QStringLiteral("radeon_icd.*.json")});
    if (radv.isEmpty())
        GTEST_SKIP() << "needs RADV (mesa-vulkan-drivers)";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RADV_FORCE_FAMILY"), QStringLiteral("navi23"));
    environment.insert(QStringLiteral("VK_ICD_FILENAMES"), icds.filePath(radv.front()));
    environment.insert(QStringLiteral("MESA_SHADER_CACHE_DISABLE"), QStringLiteral("true"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=KernelStatistics.%1").arg(QLatin1String(test))});
    ASSERT_TRUE(child.waitForFinished(300'000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

} // namespace

// Only fused multiply-adds of the block with the most of them count; unfused multiply-adds,
// other vector work, and scalar and memory instructions do not.
TEST(KernelStatistics, HottestBlockOfAmdMachineCode)
{
    const std::string assembly = "BB0:\n"
                                 "\ts_load_dwordx4 s[8:11], s[2:3], 0x20\n"
                                 "\tv_fma_f32 v4, v5, v6, v7\n"
                                 "BB1:\n"
                                 "\tds_read_b128 v[0:3], v8\n"
                                 "\tv_fmac_f32_e32 v10, v0, v1                 ; 56141300\n"
                                 "\tv_fmac_f32_e64 v11, s0, v1\n"
                                 "\tv_fmamk_f32 v12, v0, 0x3f800000, v1\n"
                                 "\tv_pk_fma_f32 v[2:3], v[4:5], v[6:7], v[2:3]\n"
                                 "\tv_mac_f32_e32 v13, v0, v1\n"
                                 "\tv_mad_f32 v14, v0, v1, v2\n"
                                 "\tv_add_f32_e32 v15, v0, v1\n"
                                 "\ts_waitcnt lgkmcnt(0)\n"
                                 "BB2:\n"
                                 "\tv_fmac_f32_e32 v10, v0, v1\n"
                                 "\ts_endpgm\n";
    const auto block = sr::hottestBlock(assembly);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->fmas, 4);
    EXPECT_EQ(block->vectorInstructions, 7);

    EXPECT_FALSE(sr::hottestBlock(""));
    EXPECT_FALSE(sr::hottestBlock("impl main {\n  block b0:\n    %1 = ffma %2, %3, %4\n}\n"));
}

TEST(KernelStatistics, AmdsCompilerFusesThe3x3KernelButNeverTheByteRule)
{
    if (!qEnvironmentVariableIsSet("RADV_FORCE_FAMILY")) {
        runOnRadvNullDevice("AmdsCompilerFusesThe3x3KernelButNeverTheByteRule");
        return;
    }
    const std::vector<sr::DeviceChoice> devices = sr::candidateDevices(0, true);
    ASSERT_FALSE(devices.empty());
    const std::vector<sr::KernelStatistics> kernels = sr::kernelStatistics(devices.front());
    ASSERT_EQ(kernels.size(), size_t(sr::kernelCount));
    for (const sr::KernelStatistics& kernel : kernels) {
        SCOPED_TRACE(kernel.kernel);
        EXPECT_TRUE(kernel.hottest);
        EXPECT_EQ(valueOf(kernel, "Spilled VGPRs"), "0");
    }
    const sr::KernelStatistics& conv3x3 = kernels[size_t(sr::Kernel::conv3x3)];
    ASSERT_TRUE(conv3x3.hottest);
    EXPECT_GE(conv3x3.hottest->fmas, 0.9 * conv3x3.hottest->vectorInstructions);
    const std::string vgprs = valueOf(conv3x3, "VGPRs");
    ASSERT_FALSE(vgprs.empty());
    EXPECT_LE(std::stoi(vgprs), 80);

    // x = v * 255 + 0.5 rounds twice, as on the host; the hottest block has the most FMAs.
    const sr::KernelStatistics& bytes = kernels[size_t(sr::Kernel::toBytes)];
    ASSERT_TRUE(bytes.hottest);
    EXPECT_EQ(bytes.hottest->fmas, 0);

    // The fit check asks for what the kernel really takes, which the driver gives in whole
    // 512-byte granules.
    const std::string lds = valueOf(conv3x3, "LDS size");
    ASSERT_FALSE(lds.empty());
    VkPhysicalDeviceLimits limits = devices.front().properties.limits;
    limits.maxComputeSharedMemorySize = std::uint32_t(std::stoul(lds));
    EXPECT_TRUE(sr::conv3x3Fits(limits));
    limits.maxComputeSharedMemorySize -= 512;
    EXPECT_FALSE(sr::conv3x3Fits(limits));
}
