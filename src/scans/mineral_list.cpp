#include "scans/mineral_list.h"

#include <algorithm>

#include "scans/mineral_database.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

std::string FileNeeded(const Workspace& ws) {
    const std::string path = MineralFilePath(ws);
    if (path.empty()) throw FileError(std::string("Cannot open file ") + MineralFileName + ": no program folder");
    return path;
}

void ListPatterns(Workspace& ws, const std::vector<int32_t>& patterns) {
    ws.VisibleMinerals = patterns;
    ws.VisibleMineralCount = static_cast<int32_t>(patterns.size());
    ws.Form18.ItemIndex = -1;
}

std::string TrimRightBlanks(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The dialog's next free grid row, kept in the scratch record.
int32_t& NextPatternRow(Workspace& ws) { return ws.MineralTable[0].LineCount; }

void SizeGrid(TForm29& f, int32_t nextRow) {
    f.StringGrid1.resize(static_cast<size_t>(std::max(PatternGridMinRows, nextRow)));
}

} // namespace

std::string MineralFilePath(const Workspace& ws) {
    return ws.InstallDir.empty() ? std::string() : JoinPath(ws.InstallDir, MineralFileName);
}

void ReadMineralDatabase(Workspace& ws, Host& host) {
    ws.MineralCount = 0;
    ListPatterns(ws, {});
    MineralFile file;
    try {
        file = ReadMineralFile(FileNeeded(ws));
    } catch (const FileError& e) {
        host.message(e.what());
        return;
    }
    for (size_t i = 0; i < file.Records.size(); ++i) ws.MineralTable[i + 1] = std::move(file.Records[i]);
    ws.MineralCount = static_cast<int32_t>(file.Records.size());
    ShowAllMinerals(ws);
}

std::vector<std::string> MineralListRows(const Workspace& ws) {
    std::vector<std::string> rows;
    for (int32_t i = 0; i < ws.VisibleMineralCount && i < static_cast<int32_t>(ws.VisibleMinerals.size()); ++i) {
        const int32_t m = ws.VisibleMinerals[static_cast<size_t>(i)];
        rows.push_back(m >= 1 && m <= ws.MineralCount ? MineralListText(ws.MineralTable[static_cast<size_t>(m)])
                                                      : std::string());
    }
    return rows;
}

bool MineralPassesListSearch(const Workspace& ws, int32_t pattern) {
    if (pattern < 1 || pattern > ws.MineralCount) return false;
    const TForm18& f = ws.Form18;
    const MineralSearchField field = f.RadioButton2   ? MineralSearchField::Formula
                                     : f.RadioButton3 ? MineralSearchField::Both
                                                      : MineralSearchField::Name;
    return MineralPassesSearch(ws.MineralTable[static_cast<size_t>(pattern)], f.EAnd, f.ENot, field);
}

void ApplyMineralSearch(Workspace& ws) {
    std::vector<int32_t> shown;
    for (int32_t i = 1; i <= ws.MineralCount; ++i)
        if (MineralPassesListSearch(ws, i)) shown.push_back(i);
    ListPatterns(ws, shown);
}

void ShowAllMinerals(Workspace& ws) {
    std::vector<int32_t> all(static_cast<size_t>(ws.MineralCount));
    for (int32_t i = 0; i < ws.MineralCount; ++i) all[static_cast<size_t>(i)] = i + 1;
    ListPatterns(ws, all);
}

int32_t SelectedStandard(const Workspace& ws) {
    const int row = ws.Form18.ItemIndex;
    if (row < 0 || row >= ws.VisibleMineralCount || row >= static_cast<int>(ws.VisibleMinerals.size())) return 0;
    const int32_t m = ws.VisibleMinerals[static_cast<size_t>(row)];
    return m >= 1 && m <= ws.MineralCount ? m : 0;
}

int32_t SelectMineralRow(Workspace& ws, int row) {
    ws.Form18.ItemIndex = row >= 0 && row < ws.VisibleMineralCount ? row : -1;
    const int32_t m = SelectedStandard(ws);
    if (m > 0) {
        ws.Form18.EName = ws.MineralTable[static_cast<size_t>(m)].Name;
        ws.Form18.EFormula = ws.MineralTable[static_cast<size_t>(m)].Formula;
    }
    return m;
}

bool SelectStandardByName(Workspace& ws, const std::string& name) {
    const std::string key = ToLower(TrimRightBlanks(name));
    if (key.empty()) return false;
    const std::vector<std::string> rows = MineralListRows(ws);
    for (size_t r = 0; r < rows.size(); ++r) {
        if (ToLower(rows[r]).starts_with(key)) {
            SelectMineralRow(ws, static_cast<int>(r));
            return SelectedStandard(ws) > 0;
        }
    }
    return false;
}

void ModifySelectedMineral(Workspace& ws) {
    const int32_t m = SelectedStandard(ws);
    if (m < 1) return;
    MineralRecord& pattern = ws.MineralTable[static_cast<size_t>(m)];
    pattern.Name = CutMineralText(ws.Form18.EName, MineralTextLength);
    pattern.Formula = CutMineralText(ws.Form18.EFormula, MineralTextLength);
}

void RemoveSelectedMineral(Workspace& ws, Host& host) {
    const int32_t removed = SelectedStandard(ws);
    if (removed < 1) return;
    try {
        const std::string path = FileNeeded(ws);
        std::vector<MineralRecord> kept;
        kept.reserve(static_cast<size_t>(ws.MineralCount));
        for (int32_t i = 1; i <= ws.MineralCount; ++i)
            if (i != removed) kept.push_back(ws.MineralTable[static_cast<size_t>(i)]);
        RewriteMineralFile(path, kept, ws.MineralCount);
    } catch (const FileError& e) {
        host.message(e.what());
        return;
    }
    ReadMineralDatabase(ws, host);
}

void StartNewPattern(Workspace& ws) {
    TForm29& f = ws.Form29;
    f.EName = "New1";
    f.EFormula.clear();
    f.StringGrid1.assign(PatternGridMinRows, PatternGridRow{});
    ws.MineralTable[0] = MineralRecord{};
    NextPatternRow(ws) = 1;
}

void AddPatternLine(Workspace& ws) {
    TForm29& f = ws.Form29;
    int32_t& n = NextPatternRow(ws);
    n = std::max(n, 1);
    if (n >= MaxMineralLines) return;
    SizeGrid(f, n + 1);
    f.StringGrid1[static_cast<size_t>(n)] = {std::to_string(n), f.Edhkl, f.EIhkl, f.Ehkl};
    ++n;
    SizeGrid(f, n);
}

void LoadPatternText(Workspace& ws, const std::string& text) {
    const PatternText pattern = ParsePatternText(text);
    TForm29& f = ws.Form29;
    f.EName = pattern.Name;
    f.EFormula = pattern.Formula;
    const int32_t rows = static_cast<int32_t>(pattern.Rows.size());
    f.StringGrid1.assign(static_cast<size_t>(std::max(PatternGridMinRows, rows + 1)), PatternGridRow{});
    for (int32_t r = 1; r <= rows; ++r) {
        const PatternTextRow& row = pattern.Rows[static_cast<size_t>(r - 1)];
        f.StringGrid1[static_cast<size_t>(r)] = {std::to_string(r), row.D, row.Intensity, row.Hkl};
    }
    ws.MineralTable[0] = MineralRecord{};
    NextPatternRow(ws) = rows + 1;
}

void LoadPatternFile(Workspace& ws, const std::string& path) {
    std::string text;
    for (const std::string& line : ReadFirstTextLines(path, PatternTextLines, PatternTextReadBytes))
        text += line + "\n";
    LoadPatternText(ws, text);
}

bool SavePattern(Workspace& ws, Host& host) {
    if (ws.MineralCount >= MaxMinerals) {
        host.message("The pattern list is full (" + std::to_string(MaxMinerals) +
                     " patterns); remove a pattern before adding one");
        return false;
    }
    const TForm29& f = ws.Form29;
    MineralRecord record;
    record.Name = CutMineralText(f.EName, MineralTextLength);
    record.Formula = CutMineralText(f.EFormula, MineralTextLength);
    const int32_t lines = std::clamp(NextPatternRow(ws) - 1, 0,
                                     std::min<int32_t>(MaxMineralLines, static_cast<int32_t>(f.StringGrid1.size()) - 1));
    try {
        for (int32_t i = 1; i <= lines; ++i) {
            const PatternGridRow& row = f.StringGrid1[static_cast<size_t>(i)];
            MineralLine& line = record.Line[static_cast<size_t>(i - 1)];
            if (!row[1].empty()) line.D = ParseNumber(row[1]);
            if (!row[2].empty()) line.Intensity = ParseNumber(row[2]);
            line.Hkl = CutMineralText(row[3], MineralHklLength);
            // No line of a standard can have such a spacing or intensity.
            if (!row[1].empty() && !(line.D > 0)) {
                host.message("Line " + std::to_string(i) + ": dhkl " + row[1] + " is not greater than 0");
                return false;
            }
            if (line.Intensity < 0) {
                host.message("Line " + std::to_string(i) + ": Ihkl " + row[2] + " is below 0");
                return false;
            }
        }
        record.LineCount = lines;
        const std::string path = FileNeeded(ws);
        std::vector<MineralRecord> records(ws.MineralTable.begin() + 1, ws.MineralTable.begin() + 1 + ws.MineralCount);
        records.push_back(record);
        RewriteMineralFile(path, records, ws.MineralCount);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return false;
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
    ++ws.MineralCount;
    ws.MineralTable[static_cast<size_t>(ws.MineralCount)] = std::move(record);
    ws.VisibleMinerals.push_back(ws.MineralCount);
    ws.VisibleMineralCount = static_cast<int32_t>(ws.VisibleMinerals.size());
    ws.Form29.Visible = false;
    return true;
}

} // namespace orv
