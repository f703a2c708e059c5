#pragma once
// The commands that live on the main window, as core logic: opening files,
// stepping through the list, running and stopping a batch, zooming.

#include <string>
#include <vector>

namespace orv {

class Host;
struct Workspace;

// The zoom steps; each answers whether the display width changed (the frame
// is then redrawn). Nothing happens without a frame.
bool ZoomIn(Workspace& ws);
bool ZoomOut(Workspace& ws);
bool Scale100(Workspace& ws);

// File Open after the dialog: the chosen files become the list, the first
// is the one to load, the profile and series extremes start again. An
// empty choice (cancelled) changes nothing; returns whether loading should
// start.
bool OpenFiles(Workspace& ws, const std::vector<std::string>& files);
// The files of a File Open that no frame reader accepts, each with the
// reason in the words the loading worker uses ("<file> could not be read:
// ..."). They are read as the loading chain would read them, on a workspace
// of their own with the current settings: nothing of `ws` changes and
// nothing is shown.
struct UnreadableFile {
    std::string Path;
    std::string Problem;
};
std::vector<UnreadableFile> UnreadableFrameFiles(const Workspace& ws, const std::vector<std::string>& files);
// The one message that names them.
std::string UnreadableFilesMessage(const std::vector<UnreadableFile>& files);

// The frame-profile and scan-series extremes start again (a new set of
// files was opened or dropped).
void RestartExtrema(Workspace& ws);
// "Prev File" / "Next File": returns whether loading should start.
bool PrevFile(Workspace& ws);
bool NextFile(Workspace& ws);

// What "Run Batch" does.
enum class RunBatchAction { Nothing, RunScript, StartBatch, AskForAction };
RunBatchAction RunBatchDecision(const Workspace& ws);
// "Stop Batch".
void StopBatch(Workspace& ws, Host& host);

// "Brightness Up" (+2) and "Brightness Down" (-2): moves the brightness
// window's track bar, sets the brightness and redraws; releases the eraser.
// Returns whether the track bar moved.
bool BrightnessStep(Workspace& ws, Host& host, int delta);

// The mouse-tool buttons "Point", "Select rectangle", angular select and
// "Eraser" (the eraser toggles).
enum class MouseTool { Point, SelectRect, SelectAng, Eraser };
void SelectMouseTool(Workspace& ws, Host& host, MouseTool tool);
// The zoom and brightness buttons release the eraser.
void ReleaseEraser(Workspace& ws);
// The eraser sizes "Size 1" .. "Size 4": 1, 2, 4 or 8 screen pixels.
void SetEraserSize(Workspace& ws, int sizeButton);

} // namespace orv
