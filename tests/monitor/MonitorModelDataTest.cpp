// The per-model monitor data: where its files are, every key of the model
// ini with its default, the model data the build lays out for the simulated
// monitor's model, and the sample simulated-monitor file of resources/.

#include "monitor/MonitorModelData.h"

#include "monitor/Display.h"
#include "platform/Folders.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cmath>
#include <filesystem>

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

constexpr const char* kFullPrimaries = "[PrimaryColor]\nRed_x=0.64\nRed_y=0.33\nGreen_x=0.30\n"
                                       "Green_y=0.60\nBlue_x=0.15\nBlue_y=0.06\n"
                                       "White_x=0.3127\nWhite_y=0.3290\n";

TEST(MonitorModelDataPaths, FolderIniAndPicturesFollowTheModelCode)
{
    const struct
    {
        int code;
        const char* program;
        const char* folder;
        const char* ini;
        const char* picture; // of step 7
    } cases[] = {
        {0x1234, "/p", "/p/Data/1234", "/p/Data/1234/1234.ini", "/p/Data/1234/007.jpg"},
        {0x1a2b, "/p/", "/p/Data/1A2B", "/p/Data/1A2B/1A2B.ini", "/p/Data/1A2B/007.jpg"},
        {0x7, "/p", "/p/Data/0007", "/p/Data/0007/0007.ini", "/p/Data/0007/007.jpg"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ModelDataFolder(c.code, c.program), c.folder);
        EXPECT_EQ(ModelIniPath(c.code, c.program), c.ini);
        EXPECT_EQ(ModelStepPicturePath(c.code, 7, c.program), c.picture);
        const CMonitorModelData model(c.code, c.program);
        EXPECT_EQ(model.Folder(), c.folder);
        EXPECT_EQ(model.IniPath(), c.ini);
        EXPECT_EQ(model.StepPicturePath(7), c.picture);
    }
    // Without a folder given, the program data folder beside the executable.
    EXPECT_EQ(ModelIniPath(0x1234), platform::ProgramDataFolder() + "Data/1234/1234.ini");
}

class MonitorModelDataTest : public ::testing::Test
{
protected:
    // Writes the model ini of model 1234 (its folder created) and reads it.
    CMonitorModelData Model(const std::string& ini)
    {
        std::filesystem::create_directories(dir.File("program/Data/1234"));
        WriteTextFile(dir.File("program/Data/1234/1234.ini"), ini);
        return CMonitorModelData(0x1234, dir.File("program"));
    }

    TempDir dir;
};

TEST_F(MonitorModelDataTest, PrimariesAreValidOnlyWithAllNineValues)
{
    const struct
    {
        std::string ini;
        bool valid;
        std::size_t readUpTo; // values read before the first zero
    } cases[] = {
        {std::string(kFullPrimaries) + "Gamma=2.2\n", true, 9},
        {std::string(kFullPrimaries) + "Gamma=0\n", false, 8},
        {std::string(kFullPrimaries), false, 8},
        {std::string(kFullPrimaries) + "Gamma=abc\n", false, 8},
        // The first zero ends the reading: the values after it stay 0.
        {"[PrimaryColor]\nRed_x=0.64\nRed_y=\nGreen_x=0.30\nGamma=2.2\n", false, 1},
        {"[Settings]\nCount=3\n", false, 0},
    };
    for (const auto& c : cases)
    {
        MonitorPrimaries p{};
        EXPECT_EQ(Model(c.ini).LoadPrimaryColors(p), c.valid) << c.ini;
        for (std::size_t i = 0; i < p.size(); ++i)
            EXPECT_EQ(p[i] != 0.0, i < c.readUpTo) << c.ini << " value " << i;
        // The monitor object reads the same way.
        double values[9] = {};
        EXPECT_EQ(CDisplay::LoadPrimaryColors("PrimaryColor", values,
                                              dir.File("program/Data/1234/1234.ini")),
                  c.valid);
        EXPECT_EQ(values[0], p[0]);
    }
    MonitorPrimaries p{};
    ASSERT_TRUE(Model(std::string(kFullPrimaries) + "Gamma=2.2\n").LoadPrimaryColors(p));
    EXPECT_EQ(p, (MonitorPrimaries{0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290, 2.2}));
}

// Numbers no monitor can have are no model data, read as if the value
// were 0: the white gains are refused and no monitor profile is written
// from them (a profile of NaN colorants that nothing can use, with a file
// name of a wrapped-round gamma).
TEST_F(MonitorModelDataTest, ValuesNoMonitorCanHaveAreNoModelData)
{
    const struct
    {
        const char* key;
        const char* value;
        bool valid;
    } cases[] = {
        {"Red_x", "nan", false},
        {"Red_x", "inf", false},
        {"Green_y", "-inf", false},
        {"Blue_x", "1e308", false},
        {"Blue_y", "-0.06", false},
        {"White_x", "1.2", false},
        {"White_y", "0.9", false}, // x + y above 1
        {"Red_y", "0.36", true},   // 0.64 + 0.36 = 1: z = 0, on the edge as P3's red
        {"Red_y", "0.37", false},  // beyond the edge: z below 0
        {"Gamma", "1e308", false},
        {"Gamma", "nan", false},
        {"Gamma", "-2.2", false},
        {"Gamma", "40", false},
        {"Gamma", "0.5", false},
        {"Gamma", "1", true},
        {"Gamma", "4", true},
        {"Gamma", "1.8", true},
        {"Red_x", "0.66", true},
        {"Green_y", "0.69", true},
    };
    const char* keys[9] = {"Red_x", "Red_y", "Green_x", "Green_y", "Blue_x",
                           "Blue_y", "White_x", "White_y", "Gamma"};
    const char* values[9] = {"0.64", "0.33", "0.30", "0.60", "0.15", "0.06", "0.3127", "0.3290", "2.2"};
    for (const auto& c : cases)
    {
        std::string ini = "[PrimaryColor]\n";
        std::size_t changed = 0;
        for (std::size_t i = 0; i < 9; ++i)
        {
            const bool mine = std::string(keys[i]) == c.key;
            if (mine)
                changed = i;
            ini += std::string(keys[i]) + "=" + (mine ? c.value : values[i]) + "\n";
        }
        MonitorPrimaries p{};
        EXPECT_EQ(Model(ini).LoadPrimaryColors(p), c.valid) << c.key << "=" << c.value;
        for (std::size_t i = changed; i < p.size() && !c.valid; ++i)
            EXPECT_EQ(p[i], 0.0) << c.key << "=" << c.value << " value " << i;
        for (const double v : p)
            EXPECT_TRUE(std::isfinite(v)) << c.key << "=" << c.value;
    }
}

TEST_F(MonitorModelDataTest, StepsNameAndTexts)
{
    const struct
    {
        std::string ini;
        int count;
        std::string name;
    } cases[] = {
        {"[Settings]\nCount=3\nModelName=ModelX\n", 3, "ModelX"},
        {"[Settings]\nModelName=ModelX\n", -1, "ModelX"}, // no Count
        {"[PrimaryColor]\nGamma=2.2\n", -1, ""},          // no Settings
        {"[Settings]\nCount=0\n", 0, ""},
    };
    for (const auto& c : cases)
    {
        const CMonitorModelData model = Model(c.ini);
        EXPECT_EQ(model.StepCount(), c.count) << c.ini;
        EXPECT_EQ(model.ModelName(), c.name) << c.ini;
    }

    const CMonitorModelData model = Model("[Text]\n001=最初の手順\n002=Second\n010=Tenth\n");
    EXPECT_EQ(model.StepText(1), "最初の手順");
    EXPECT_EQ(model.StepText(2), "Second");
    EXPECT_EQ(model.StepText(10), "Tenth");
    EXPECT_EQ(model.StepText(3), "");

    // A model without its folder has no steps, whatever else there is.
    const CMonitorModelData missing(0x4321, dir.File("program"));
    EXPECT_FALSE(missing.FolderExists());
    EXPECT_FALSE(missing.IniExists());
    EXPECT_EQ(missing.StepCount(), -1);
}

TEST_F(MonitorModelDataTest, ColorPresetsAndTheTypedRange)
{
    const struct
    {
        std::string ini;
        std::vector<std::string> presets;
        int lowest;
        int highest;
    } cases[] = {
        {"[ColorPreset]\nCount=0\n", {}, 2600, 10000},
        {"[Settings]\nCount=3\n", {}, 2600, 10000},
        {"[ColorPreset]\nCount=0\nMinTemperature=4000\nMaxTemperature=9300\n", {}, 4000, 9300},
        {"[ColorPreset]\nCount=2\nPreset1=6500\nPreset2=Native\n", {"6500", "Native"}, 2600, 10000},
        // A preset key that is missing still holds its place, empty.
        {"[ColorPreset]\nCount=3\nPreset1=5000\nPreset3=9300\n", {"5000", "", "9300"}, 2600,
         10000},
    };
    for (const auto& c : cases)
    {
        const CMonitorModelData model = Model(c.ini);
        EXPECT_EQ(model.PresetCount(), static_cast<int>(c.presets.size())) << c.ini;
        EXPECT_EQ(model.Presets(), c.presets) << c.ini;
        EXPECT_EQ(model.MinTemperature(), c.lowest) << c.ini;
        EXPECT_EQ(model.MaxTemperature(), c.highest) << c.ini;
    }
}

// The data the build lays out for the simulated monitor's model (maker QBX,
// product 1234h), where a program built here looks for it.
TEST(ShippedModelData, TheSimulatedMonitorsModelIsComplete)
{
    const CMonitorModelData model(0x1234, QB_SHARE_DIR);
    ASSERT_TRUE(model.IniExists()) << model.IniPath();

    // Its primaries and white are what the simulated monitor's EDID says
    // (stored there to 1/1024), its gamma the monitor's VCP 72h (78h: 2.2).
    MonitorPrimaries p{};
    ASSERT_TRUE(model.LoadPrimaryColors(p));
    const platform::EdidFields edid = platform::DefaultSimulatedMonitor().edid;
    const double expected[8] = {edid.redX,  edid.redY,  edid.greenX, edid.greenY,
                                edid.blueX, edid.blueY, edid.whiteX, edid.whiteY};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(p[i], expected[i], 1.0 / 1024) << "value " << i;
    EXPECT_DOUBLE_EQ(p[kGamma], 2.2);

    EXPECT_FALSE(model.ModelName().empty());
    const int steps = model.StepCount();
    EXPECT_GE(steps, 3);
    EXPECT_LE(steps, 4);
    for (int step = 1; step <= steps; ++step)
    {
        EXPECT_FALSE(model.StepText(step).empty()) << "step " << step;
        const QImage picture(QString::fromStdString(model.StepPicturePath(step)), "JPEG");
        EXPECT_FALSE(picture.isNull()) << model.StepPicturePath(step);
    }
    EXPECT_EQ(model.Presets(), (std::vector<std::string>{"Native", "5000", "6500", "9300"}));
}

// The sample monitor of resources/ answers every VCP code the wizard, the
// manual mode and the agent use, and carries the shipped model's identity.
TEST(SampleSimulatedMonitor, LoadsAndAnswersTheProgramsCodes)
{
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
    // The programs write the monitor's state back: a copy keeps the sample.
    const std::string path = dir.File("monitors.ini");
    std::filesystem::copy_file(std::string(QB_SOURCE_DIR) + "/resources/simulated-monitor.ini",
                               path);
    platform::VirtualClock clock;
    platform::SimulatedDdcTransport transport(path, clock);
    const std::vector<platform::PhysicalMonitor> monitors = transport.EnumerateMonitors();
    ASSERT_EQ(monitors.size(), 1u) << transport.LastError();
    const platform::PhysicalMonitor& m = monitors[0];
    EXPECT_EQ(m.deviceId, "MONITOR\\QBX1234\\SIM-1");
    EXPECT_TRUE(m.primary);

    // The wizard's controls, the presence test (B6h), and the agent's
    // followed codes with the version it asks for.
    std::vector<std::uint8_t> codes;
    for (const DisplayControl& c : kDisplayControls)
        codes.push_back(c.vcp);
    for (const std::uint8_t c : {0x02, 0x0B, 0x0C, 0x14, 0x72, 0xB6, 0xDF})
        codes.push_back(c);
    for (const std::uint8_t code : codes)
    {
        platform::VcpValue value;
        EXPECT_TRUE(transport.GetVcp(m, code, &value)) << "VCP " << int(code);
    }

    // The presets and the gamma as the capabilities list them.
    std::string caps;
    ASSERT_TRUE(transport.GetCapabilities(m, &caps));
    EXPECT_NE(caps.find("14(01 04 05 06 08 0B)"), std::string::npos) << caps;
    EXPECT_NE(caps.find("72(00 78)"), std::string::npos) << caps;

    // A preset loads its gains and temperature.
    ASSERT_TRUE(transport.SetVcp(m, 0x14, 0x04));
    platform::VcpValue blue;
    platform::VcpValue temperature;
    ASSERT_TRUE(transport.GetVcp(m, 0x1A, &blue));
    ASSERT_TRUE(transport.GetVcp(m, 0x0C, &temperature));
    EXPECT_EQ(blue.current, 70);
    EXPECT_EQ(temperature.current, 40);

    // The monitor object selects it and finds its model's data.
    CDdcApiDisplay display(std::make_unique<platform::SimulatedDdcTransport>(path, clock), clock,
                           dir.File("no-drm"));
    display.SetProgramFolder(QB_SHARE_DIR);
    ASSERT_TRUE(display.EnumMonitors());
    ASSERT_TRUE(display.SelectMonitor(0));
    EXPECT_EQ(display.ModelCode, 0x1234);
    EXPECT_TRUE(display.PrimariesLoaded);
}

} // namespace
