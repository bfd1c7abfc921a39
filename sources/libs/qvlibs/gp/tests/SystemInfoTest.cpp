#include <QV/GP/SystemInfo.h>
#include <QV/GP/SystemInfo2.h>

#include <gtest/gtest.h>

#include <thread>

using QV::GP::SystemInfo;
using QV::GP::SystemInfo2;

namespace {

TEST(SystemInfo, LanguageFromLocaleIdentifier)
{
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("en_GB.UTF-8"), 0);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("fr"), 1);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("de_CH"), 2);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("ja_JP"), 3);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("es"), 4);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("it_IT"), 6);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("pt"), 5);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage("e"), 5);
    EXPECT_EQ(QV::GP::convertMacLocaleToSystemLanguage(""), 5);
}

TEST(SystemInfo, CountsAreCombinedWithoutDividingByZero)
{
    SystemInfo::Counts consistent;
    consistent.physicalCores = 8;
    consistent.logicalCores = 16;
    consistent.packages = 2;
    SystemInfo::Topology t = SystemInfo::combineCounts(consistent);
    EXPECT_TRUE(t.systemCountsUsed);
    EXPECT_EQ(t.processingUnits, 16u);
    EXPECT_EQ(t.cores, 8u);
    EXPECT_EQ(t.packages, 2u);
    EXPECT_EQ(t.coresPerPackage, 4u);
    EXPECT_EQ(t.unitsPerCore, 2u);

    // Nothing known at all: the host's counts, one package, no fault.
    t = SystemInfo::combineCounts(SystemInfo::Counts{});
    EXPECT_FALSE(t.systemCountsUsed);
    EXPECT_EQ(t.packages, 1u);
    EXPECT_EQ(t.cores, 0u);

    // More packages than cores is inconsistent; CPUID's cores per package
    // then decide the packages.
    SystemInfo::Counts odd;
    odd.physicalCores = 1;
    odd.logicalCores = 4;
    odd.packages = 2;
    odd.hostPhysical = 4;
    odd.hostLogical = 4;
    odd.cpuidCoresPerPackage = 2;
    odd.cpuidUnitsPerCore = 1;
    t = SystemInfo::combineCounts(odd);
    EXPECT_FALSE(t.systemCountsUsed);
    EXPECT_EQ(t.processingUnits, 4u);
    EXPECT_EQ(t.cores, 4u);
    EXPECT_EQ(t.packages, 2u);
}

TEST(SystemInfo, ProcCPUInfoIsParsedDefensively)
{
    const char* twoPackages = "processor\t: 0\n"
                              "model name\t:   Test CPU @ 3.00GHz  \n"
                              "cpu MHz\t\t: 2999.998\n"
                              "physical id\t: 0\n"
                              "core id\t\t: 0\n"
                              "cpu cores\t: 2\n"
                              "\n"
                              "processor\t: 1\nphysical id\t: 0\ncore id\t\t: 1\n\n"
                              "processor\t: 2\nphysical id\t: 0\ncore id\t\t: 1\n\n" // a sibling
                              "processor\t: 3\nphysical id\t: 1\ncore id\t\t: 0\n\n"
                              "processor\t: 4\nphysical id\t: 1\ncore id\t\t: 1\n";
    SystemInfo2::CPUInfo info = SystemInfo2::parseProcCPUInfo(twoPackages);
    EXPECT_EQ(info.physicalCores, 4u);
    EXPECT_EQ(info.packages, 2u);
    EXPECT_EQ(info.processorName, "Test CPU @ 3.00GHz");
    EXPECT_EQ(info.speedMHz, 2999u);

    // "cpu cores : 0" must not be divided by; garbage lines are skipped.
    info = SystemInfo2::parseProcCPUInfo("cpu cores : 0\nphysical id: x\ncore id: 3\n::::\nmodel name:");
    EXPECT_EQ(info.packages, 1u);
    EXPECT_EQ(info.physicalCores, 0u);
    EXPECT_EQ(info.processorName, "");

    info = SystemInfo2::parseProcCPUInfo("model name : " + std::string(2000, 'x'));
    EXPECT_EQ(info.processorName.size(), 512u);
    EXPECT_EQ(SystemInfo2::parseProcCPUInfo("").packages, 1u);
}

TEST(SystemInfo, ReleaseNumbers)
{
    SystemInfo2::OSInfo os = SystemInfo2::parseRelease("6.1.0-18-amd64", "x86_64");
    EXPECT_EQ(os.major, 6u);
    EXPECT_EQ(os.minor, 1u);
    EXPECT_EQ(os.patch, 0u);
    EXPECT_EQ(os.targetInstructionSet, 2u);
    os = SystemInfo2::parseRelease("5.15", "aarch64");
    EXPECT_EQ(os.major, 5u);
    EXPECT_EQ(os.minor, 15u);
    EXPECT_EQ(os.patch, 0u);
    EXPECT_EQ(os.targetInstructionSet, 0u);
    os = SystemInfo2::parseRelease("weird", "");
    EXPECT_EQ(os.major, 0u);
}

TEST(SystemInfo, ThisMachineGivesSaneValues)
{
    ASSERT_TRUE(SystemInfo::init());
    const SystemInfo::Values& v = SystemInfo::values();
    const unsigned hardware = std::thread::hardware_concurrency();
    EXPECT_GE(v.processingUnits, 1u);
    if (hardware > 0) {
        EXPECT_EQ(v.processingUnits, hardware);
    }
    EXPECT_GE(v.cores, 1u);
    EXPECT_LE(v.cores, v.processingUnits);
    EXPECT_GE(v.packages, 1u);
    EXPECT_FALSE(v.processorName.empty());
    EXPECT_NE(v.processorName.front(), ' ');
    EXPECT_EQ(v.osType, 4u);
    EXPECT_GE(v.osMajor, 3u);
    EXPECT_FALSE(v.computerName.empty());
#if defined(__x86_64__)
    EXPECT_NE(v.simdBits & SystemInfo::kSIMD_SSE2, 0u); // every x86-64 has SSE2
    EXPECT_NE(v.featureBits & SystemInfo::kFeature64Bit, 0u);
    EXPECT_GE(v.family, 1u);
    EXPECT_EQ(SystemInfo2::retrieveOSInfo().targetInstructionSet, 2u);
#endif
    EXPECT_TRUE(SystemInfo::deInit());
    EXPECT_EQ(SystemInfo::values().processingUnits, v.processingUnits);
}

} // namespace
