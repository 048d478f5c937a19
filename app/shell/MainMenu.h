#pragma once
// The main window's menu bar and toolbars: what each holds, in order, and
// the texts of the commands on them. The frame makes one QAction per
// command (app/shell/MainFrame.h) and puts that same action into the menus and
// onto the toolbars, so a command reads, acts and is enabled alike
// wherever it is offered.
//
// - "ファイル(&F)" is the design's menu 128 as it stands: its items, their
//   texts with the accelerators' keys after a tab, and its separators.
// - "編集(&E)" holds undo and redo, the accelerators' two edit commands.
// - "補正(&C)" holds the step commands and the batch in toolbar 131's
//   order, named after their panels.
// - Toolbar 128 carries the file commands, toolbar 131 the step commands
//   and the batch, with the design's separators.

#include "app/shell/MainFrameLogic.h"

#include <QString>

#include <vector>

inline constexpr int kFileToolBarResource = 128;
inline constexpr int kStepToolBarResource = 131;

// A popup of the menu bar; command 0 stands for a separator, as in the
// resources.
struct MenuPopup
{
    QString title;
    std::vector<int> commands;
};
const std::vector<MenuPopup>& MainMenuPopups();

// The buttons of toolbar 128 or 131 (0 = separator); nothing for another
// number.
const std::vector<int>& ToolBarCommands(int resource);

// A command's text in the menu: its name with its mnemonic, "..." when it
// asks for more before it acts, and its key after a tab.
QString CommandMenuText(FrameCommand command);
// Its tool tip: the name alone, with the key in parentheses when it has
// one ("ファイルを開く (Ctrl+O)").
QString CommandToolTip(FrameCommand command);
