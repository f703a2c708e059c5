#pragma once
// Start-up: the program folder, the one-time set-up when the frame window is
// first shown, the command line, list files and dropped files.

#include <string>
#include <vector>

namespace orv {

class Host;
struct Workspace;

inline constexpr const char* ProgramFolderMarker = "didediver.set";
inline constexpr const char* DataFolderName = "Data";

// Where the program folder lives: $ORVANTIDE_HOME when set, else
// $XDG_DATA_HOME/Orvantide, else ~/.local/share/Orvantide. Ends with "/".
std::string DefaultProgramFolder();
// Creates the folder, its "Data" subfolder, the marker file and the shipped
// reference patterns "mineral.min" when they are missing, and makes it
// InstallDir. Returns false (with a message) when the
// folder cannot be made.
bool PrepareProgramFolder(Workspace& ws, Host& host, const std::string& folder);

// The run-time set-up of the first showing of the frame window: start values,
// "Settings.txt" (or the built-in defaults), the palette and the brightness.
// A "Settings.txt" naming a missing settings file is reported in the
// logbook and the defaults are used.
void RunTimeSetup(Workspace& ws, Host& host);

// What the caller does after a command line, a list or a drop was taken in.
enum class LoadRequest {
    None,
    StartLoading,
    MissingFile,   // the command line named a file that does not exist
    Refused,       // the command line cannot be run: its script or list is
                   // missing, not a file or not text (reported and counted)
};

// Argument 1: a frame, a ".set" or a ".lst" file; argument 2: a script.
// A settings file that cannot be loaded is counted as a problem of the run.
LoadRequest ProcessCommandLine(Workspace& ws, Host& host, const std::vector<std::string>& args);
// Reads a ".lst" list file into FileList, ScriptList and the script state.
// Throws FileError when it cannot be read.
void ReadListFile(Workspace& ws, const std::string& path);
// Files dropped onto the frame window: all are listed, the first is loaded.
LoadRequest DropFiles(Workspace& ws, Host& host, const std::vector<std::string>& paths);

} // namespace orv
