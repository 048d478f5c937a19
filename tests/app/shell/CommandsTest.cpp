// The main frame's commands: the enable rule of each command over the
// states that decide it, and on a real frame the rule checked before a
// command is carried out (shortcuts included).

#include "app/shell/MainFrameLogic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace {

// A state in which every rule holds, and the one changes that take each
// command's rule away.
CommandState Everything()
{
    CommandState s;
    s.fileListShown = true;
    s.projectReady = true;
    s.imageLoaded = true;
    s.displayMode = 2;
    s.hasRawData = true;
    s.imageWidth = 640;
    s.imageHeight = 480;
    s.checkedOtherThanType4 = true;
    s.checkedCount = 3;
    s.hasPanel = true;
    s.panelCanUndo = true;
    s.panelCanRedo = true;
    s.fileViewEnabled = [](int) { return true; };
    return s;
}

using Change = void (*)(CommandState&);

struct Case
{
    const char* what;
    Change change;
    // Commands still enabled after the change (everything else disabled).
    std::vector<FrameCommand> enabled;
};

const std::vector<FrameCommand> kStepCommands = {
    FrameCommand::StepChart,     FrameCommand::StepTrimming,       FrameCommand::StepGradation,
    FrameCommand::StepColorTone, FrameCommand::StepSpecifiedColor, FrameCommand::StepFilter,
    FrameCommand::StepBatch};

std::vector<FrameCommand> AllBut(std::vector<FrameCommand> removed)
{
    std::vector<FrameCommand> out;
    removed.push_back(FrameCommand::NewList); // never enabled
    for (FrameCommand c : AllFrameCommands())
    {
        if (std::find(removed.begin(), removed.end(), c) == removed.end())
            out.push_back(c);
    }
    return out;
}

TEST(FrameCommands, EachRuleHoldsExactlyWhereItsStateDoes)
{
    const Case cases[] = {
        {"everything", [](CommandState&) {}, AllBut({})},
        {"step panel shown",
         [](CommandState& s) { s.fileListShown = false; },
         {FrameCommand::Preferences, FrameCommand::AppExit, FrameCommand::Undo,
          FrameCommand::Redo}},
        {"no image",
         [](CommandState& s) {
             s.imageLoaded = false;
             s.imageWidth = s.imageHeight = 0;
         },
         AllBut({FrameCommand::SaveImage, FrameCommand::Print, FrameCommand::StepDevelop})},
        {"display mode 1",
         [](CommandState& s) { s.displayMode = 1; },
         AllBut({FrameCommand::SaveImage, FrameCommand::Print})},
        {"TIFF or JPEG (no raw data)",
         [](CommandState& s) { s.hasRawData = false; },
         AllBut({FrameCommand::StepDevelop})},
        {"empty image",
         [](CommandState& s) { s.imageHeight = 0; },
         AllBut({FrameCommand::Print})},
        {"project not ready",
         [](CommandState& s) { s.projectReady = false; },
         AllBut({FrameCommand::IndexPrint})},
        {"only camera-raw entries ticked",
         [](CommandState& s) { s.checkedOtherThanType4 = false; },
         AllBut({FrameCommand::IndexPrint})},
        {"nothing ticked",
         [](CommandState& s) {
             s.checkedCount = 0;
             s.checkedOtherThanType4 = false;
         },
         AllBut({FrameCommand::IndexPrint})},
        {"panel cannot undo",
         [](CommandState& s) { s.panelCanUndo = false; },
         AllBut({FrameCommand::Undo})},
        {"panel cannot redo",
         [](CommandState& s) { s.panelCanRedo = false; },
         AllBut({FrameCommand::Redo})},
        {"no panel",
         [](CommandState& s) { s.hasPanel = false; },
         AllBut({FrameCommand::Undo, FrameCommand::Redo})},
        {"file list answers no",
         [](CommandState& s) { s.fileViewEnabled = [](int) { return false; }; },
         AllBut({FrameCommand::LoadList, FrameCommand::SaveList, FrameCommand::ImportParameters,
                 FrameCommand::ExportParameters, FrameCommand::ResetParameters})},
        {"file list without an answer",
         [](CommandState& s) { s.fileViewEnabled = nullptr; },
         AllBut({FrameCommand::LoadList, FrameCommand::SaveList, FrameCommand::ImportParameters,
                 FrameCommand::ExportParameters, FrameCommand::ResetParameters})},
    };
    for (const Case& c : cases)
    {
        CommandState state = Everything();
        c.change(state);
        for (FrameCommand command : AllFrameCommands())
        {
            const bool expected =
                std::find(c.enabled.begin(), c.enabled.end(), command) != c.enabled.end();
            EXPECT_EQ(IsFrameCommandEnabled(command, state), expected)
                << c.what << ": command " << static_cast<int>(command);
        }
    }
}

TEST(FrameCommands, FileListCommandsAskThePanelWithTheirIdLess32797)
{
    std::map<FrameCommand, int> expected = {
        {FrameCommand::LoadList, 0},          {FrameCommand::SaveList, 1},
        {FrameCommand::ResetParameters, 43},  {FrameCommand::ImportParameters, 44},
        {FrameCommand::ExportParameters, 47},
    };
    for (const auto& [command, index] : expected)
    {
        CommandState state = Everything();
        int asked = -1;
        state.fileViewEnabled = [&asked](int i) {
            asked = i;
            return true;
        };
        EXPECT_TRUE(IsFrameCommandEnabled(command, state));
        EXPECT_EQ(asked, index) << static_cast<int>(command);
    }
}

TEST(FrameCommands, StepCommandsNeedOnlyTheFileList)
{
    CommandState bare;
    bare.fileListShown = true;
    for (FrameCommand command : kStepCommands)
        EXPECT_TRUE(IsFrameCommandEnabled(command, bare)) << static_cast<int>(command);
    EXPECT_FALSE(IsFrameCommandEnabled(FrameCommand::StepDevelop, bare));
    EXPECT_TRUE(IsFrameCommandEnabled(FrameCommand::OpenFiles, bare));
    EXPECT_TRUE(IsFrameCommandEnabled(FrameCommand::OpenFolder, bare));
    EXPECT_TRUE(IsFrameCommandEnabled(FrameCommand::Preferences, CommandState{}));
    EXPECT_TRUE(IsFrameCommandEnabled(FrameCommand::AppExit, CommandState{}));
}

} // namespace
