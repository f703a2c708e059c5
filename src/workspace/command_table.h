#pragma once
// Every command of the main window, menus and tool buttons alike, as one
// table. Menus, buttons and scripts call the same commands through it; a
// command whose handler is not installed is shown disabled.

#include <string>
#include <vector>

namespace orv {

enum class CommandId {
    // File
    FileOpen, Merge, SaveFrame, LoadBackground, SaveAsBackground, SaveFrameAsBmp, SaveLogbook, Exit,
    // Edit
    CopyFrame,
    // View
    ShowFullSize, AdjustBrightness, ZoomTool, ShowHistory, ShowLogbook, ShowFrameInfo, ShowScanSeries,
    // Diffractometer
    LoadSettings, SaveSettings, PatternCentre, ShowWavelength, ShowDetectorSettings, ShowModelUserInfo,
    DetectorRotations,
    // Math
    AddConstant, MultiplyByConstant, AddFrames, SubtractFrames,
    // Select area
    DefineSector, DeleteSector, MaskAbove, MaskBelow, LoadMask, SaveMask, SelectRectangleArea, FindSpots,
    // Analyze
    RemoveFrameBackground, LoadBackgroundFile, SmoothFrame, TwoThetaScan, PsiScan, IntegrateSector,
    DSpacingVsPsi, PoleFigureAnalysis, LineScanY, LineScanX,
    // Settings, batch, script, help
    ScanSettings, NewBatchProject, LoadScript, RunScript, About,
    // Tool buttons only
    LoadFile, PrevFile, NextFile, RunBatch, StopBatch, FindAndMaskSpots, BatchProcess, CenteringTool,
    XLineScan, YLineScan, NewPoleFigure, Rotate90, ZoomIn, ZoomOut, Scale100, BrightnessUp, BrightnessDown,
    ToolPoint, ToolSelectRect, ToolSelectAng, ToolEraser,
};

struct CommandEntry {
    std::string Menu;      // the menu ("File", "Analyze/Line scan") or "Button" for a tool button
    std::string Caption;   // the menu item's caption or the button's hint
    CommandId Id;
    std::string Target;    // what the command runs, by the program's own name
};

// Menu items in menu order, then the tool buttons in toolbar order.
const std::vector<CommandEntry>& CommandTable();
// The entries of one place ("Button" for the tool buttons).
std::vector<CommandEntry> CommandsOf(const std::string& menu);

} // namespace orv
