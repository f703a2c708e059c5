#pragma once
// The batch and scan settings window's own commands.

namespace orv {

class Host;
struct Workspace;

// "Apply" on the "Batch Process Settings" page: folders, "Settings.txt",
// the status light and the project's slice file.
void SetupApplyBatch(Workspace& ws, Host& host);
// "APPLY" on the "Scan settings" page: the peak and background boxes, the
// steps, and a new geometry and scan when a frame is loaded. A ticked step
// that is not a number, or out of range, is refused with nothing changed.
void SetupApplyScan(Workspace& ws, Host& host);
// A click on "Peaks in Psi Scan Summary": a new, emptied project ".PSU" file
// in the output folder.
void SetupPsiSummaryClick(Workspace& ws, Host& host);
// A click on "Adjust2ThetaMaximum": warns when the angle lies outside the sector.
void SetupAdjust2ThetaClick(Workspace& ws, Host& host);
// "Close": the status light and the working folder in Frame Info.
void SetupClose(Workspace& ws, Host& host);

// Whether any batch output box is ticked (the status light is then red).
bool AnyBatchOutputChosen(const Workspace& ws);
// The slice width the program uses for a typed one: 1, 5 and 10 (as
// rounded) and exactly 2.5 stay, anything else becomes 5.
float AcceptedSliceWidth(double typed);

} // namespace orv
