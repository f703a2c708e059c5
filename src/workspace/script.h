#pragma once
// The script interpreter: text files of eight-letter commands that drive the
// workspace without a user (set the sector and the step, find the centre,
// fit against a standard, add frames, save scans and settings, end the
// program). Scripts run on the main thread; the loading worker hands them
// over with host.sync.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

class Host;
struct Workspace;

enum class ScriptCommandKind {
    Unknown,          // any other text: the line is skipped
    AddFrame,         // ADDFRAME
    FindCentre,       // FINDCENT
    EndApplication,   // ENDAPPLI
    LoadSettings,     // LOADSETF
    SaveSettings,     // SAVESETF
    SetAngleRange,    // SETANGRA
    SaveTwoThetaScan, // SAVE2THS
    SetTwoThetaStep,  // SET2THST
    FitToStandard,    // FITTOSTD
    SetWorkDir,       // SETWORKD
    SetOutputDir,     // SETOUTPD
};

// One script line as read, before anything is converted or run.
struct ScriptCommand {
    ScriptCommandKind Kind = ScriptCommandKind::Unknown;
    std::string Command;              // the line's first eight characters in upper case
    std::vector<bool> Flags;          // the flags in line order ("1" is yes)
    std::vector<std::string> Numbers; // the characters each number field collected
    char Choice = '\0';               // FINDCENT's method, SAVE2THS's format ('\0' past the line's end)
    std::string Name;                 // the path argument, or FITTOSTD's eight-character standard
};

// Reads one line by the script language: the command is the first eight
// characters (any case), then one separator, then the arguments character by
// character. A number field ends at a blank (consumed), after ten
// characters, or at the end of the line; it keeps only the characters its
// command collects.
ScriptCommand ParseScriptLine(std::string_view line);

// How a script run ended.
enum class ScriptEnd {
    Missing,        // the file does not exist: nothing ran
    Completed,      // every line ran
    Failed,         // a command stopped the script (reported; ScriptFailed is set)
    EndedProgram,   // ENDAPPLI: the host was asked to end the program
};

// Runs the script file on the current frame. A command that fails (a file
// that cannot be read or written, a save onto a frame in use, text that is
// not a number, a working or output folder that cannot be used, a standard
// that matches no pattern, an ADDFRAME that adds nothing) stops the script:
// the reason goes to the logbook and to the user (a message, or standard
// error in an unattended run).
ScriptEnd RunScriptFile(Workspace& ws, Host& host, const std::string& fileName);

// Main window "Run Script": runs the script named in EScript once.
void RunScriptCommand(Workspace& ws, Host& host);
// Main window "Load Script": asks for a script file and makes it current.
void LoadScriptCommand(Workspace& ws, Host& host);

// Loading worker, list case: entry k's own script, when it is a text file,
// becomes the current script (ScriptFile and EScript). Returns why entry k's
// own script cannot be used ("" when it can, or when it has none).
std::string SelectFrameScript(Workspace& ws, int32_t k);
// Loading worker, script mode: runs the current script when it exists.
ScriptEnd RunFrameScript(Workspace& ws, Host& host);

} // namespace orv
