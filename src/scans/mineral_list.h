#pragma once
// The "Mineral List" window and the "New Pattern" dialog as records, and
// their commands on the workspace's pattern table: reading "mineral.min",
// the boolean search, the current standard, adding and removing patterns.
//
// The table (Workspace::MineralTable) holds the patterns in slots
// 1..MineralCount; slot 0 is the New Pattern dialog's scratch record, whose
// LineCount is the dialog's next free grid row. List row r (from 0) shows
// pattern VisibleMinerals[r]; the selected row's pattern is the program's
// current standard (SelectedStandard).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class Host;
struct Workspace;

// "Mineral List"
struct TForm18 {
    // "Boolean Search"
    std::string EAnd;                // "Include"
    std::string ENot;                // "Exclude"
    bool RadioButton1 = true;        // "Name"
    bool RadioButton2 = false;       // "Formula"
    bool RadioButton3 = false;       // "Both"
    // "Find Tool"
    std::string EWidth = "0.4";      // "Peak width", degrees
    int TrackBar1 = 50;              // "Search Constrains", 0 (Low) .. 100 (High)
    bool CheckBox2 = false;          // "Boolean Search" (not shown): Find Match skips patterns failing the search
    int ProgressBar1 = 0;
    // The list's selected row (-1: none); the row's pattern is the current standard.
    int ItemIndex = -1;
    // Not shown: the selected pattern's name and formula, and the scores of
    // the last match (Edit1 p1, Edit2 p0, Edit3 p2).
    std::string EName, EFormula;
    std::string Edit1, Edit2, Edit3;
    bool Visible = false;            // shown; the database is read when it becomes visible
};

// "New Pattern"
constexpr int PatternGridColumns = 4;   // row number, d, I, hkl
constexpr int PatternGridMinRows = 5;
using PatternGridRow = std::array<std::string, PatternGridColumns>;

struct TForm29 {
    std::string EName = "New1";      // "Name"
    std::string EFormula;            // "Formula"
    std::string Edhkl = "1.000";     // "dhkl"
    std::string EIhkl = "100";       // "Ihkl"
    std::string Ehkl = "1 0 0";      // "hkl"
    // The grid's rows; row 0 holds the column titles, rows 1.. the lines.
    std::vector<PatternGridRow> StringGrid1 = std::vector<PatternGridRow>(PatternGridMinRows);
    bool Visible = false;
};

// The path of "mineral.min" in the program folder ("" without one).
std::string MineralFilePath(const Workspace& ws);

// Showing the list: "mineral.min" is read into slots 1, 2, ... (at most 250)
// and every pattern is listed, nothing selected. A file that cannot be read
// is reported and leaves an empty list.
void ReadMineralDatabase(Workspace& ws, Host& host);
// The rows' texts (name, blank, formula), in list order.
std::vector<std::string> MineralListRows(const Workspace& ws);

// "Apply": lists the patterns that pass the boolean search of EAnd, ENot and
// the radio buttons; nothing stays selected.
void ApplyMineralSearch(Workspace& ws);
// "Show All": every pattern in order; nothing stays selected.
void ShowAllMinerals(Workspace& ws);
// Whether pattern i passes the boolean search as the window's boxes stand.
bool MineralPassesListSearch(const Workspace& ws, int32_t pattern);

// The current standard: the pattern of the selected row, 0 when none.
int32_t SelectedStandard(const Workspace& ws);
// Clicking row `row` (from 0): selects it and puts the pattern's name and
// formula into EName and EFormula. Returns the pattern, 0 for no row.
int32_t SelectMineralRow(Workspace& ws, int row);
// FITTOSTD: selects the first row whose text, in lower case, begins with
// `name` in lower case; trailing blanks of `name` (a short name is padded to
// eight characters in a script) are not compared. Returns false, changing
// nothing, when the name is blank or no row matches.
bool SelectStandardByName(Workspace& ws, const std::string& name);

// The hidden "Modify": EName and EFormula (each cut to 30 characters) become
// the selected pattern's name and formula, in memory only ("mineral.min" is
// not written). Does nothing without a selection.
void ModifySelectedMineral(Workspace& ws);

// "Remove": drops the selected pattern from "mineral.min" (patterns beyond
// the table's 250 stay in the file) and reads the file back. Does nothing
// without a selection; a file that cannot be written is reported and
// nothing changes.
void RemoveSelectedMineral(Workspace& ws, Host& host);

// The list's "Add": the New Pattern dialog starts afresh: its boxes, a
// cleared grid of five rows and a zeroed scratch record.
void StartNewPattern(Workspace& ws);
// The dialog's "Add": the typed line goes to the next free grid row (at
// most 99 lines).
void AddPatternLine(Workspace& ws);
// The dialog's "Load": name, formula and lines from a pattern text file.
// Throws FileError when the file cannot be read.
void LoadPatternFile(Workspace& ws, const std::string& path);
// Fills the dialog from a pattern text (see ParsePatternText).
void LoadPatternText(Workspace& ws, const std::string& text);
// The dialog's "Save": the grid's lines become pattern MineralCount + 1,
// appended to the list and to "mineral.min". A cell that is not a number, a
// typed dhkl not above 0, an Ihkl below 0, a full table or a file that cannot
// be written is reported and changes nothing; returns whether the pattern was saved (the dialog then hides).
bool SavePattern(Workspace& ws, Host& host);

} // namespace orv
