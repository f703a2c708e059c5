#pragma once
// The settings windows as records: each member is one of the window's edit
// boxes (its text) or check/radio boxes, named as the window's components,
// with the window's default. Every part of the program reads and writes these
// members by name; the Qt windows only show and edit them.

#include <string>
#include <vector>

#include "chart/rchart.h"

namespace orv {

// "Detector Settings"
struct TForm32 {
    std::string EXoM = "256";
    std::string EYoM = "256";
    bool CBXo = false;
    bool CBYo = false;
    std::string ELanda = "0.7090";
    bool CBlanda = false;
    std::string E2thetaD = "0.000";
    std::string Eth2offset = "0.000";
    bool CB2thetaD = false;
    std::string EPhiAxis = "144.7";
    std::string EDistance = "61.54";
    bool CBDistance = false;
    std::string EDSize = "61.000";
    bool CBDSize = false;
    std::string EPixSize = "100";
    bool CBPixSize = false;
    // Detector shape, one of three.
    bool RFlat = true;
    bool RCylindrical = false;
    bool RSphere = false;
    std::string ELength = "466.0";
    std::string EHeight = "256.0";
    std::string ERadius = "130.2";
    bool CBSlitDetector = false;
    std::string ESampleX = "0";
    std::string ESampleY = "0";
    bool CBSampleOffset = false;
    std::string EAMax = "160.0";
    // Raw data files.
    std::string EDSizeX = "1024";
    std::string EDSizeY = "1024";
    std::string EHeader = "-1";
    std::string EBytesPixel = "2";
    bool CustomFile = false;

    void SelectShape(int shape) {  // 1 flat, 2 cylindrical, 3 spherical
        RFlat = shape == 1;
        RCylindrical = shape == 2;
        RSphere = shape == 3;
    }
};

// "Wavelength"
struct TForm19 {
    std::string Elanda = "0.7110";
};

// "Diffractometer Settings"
struct TForm28 {
    std::string Ediffractometer = "Diffractometer1";
    std::string EUser = "User1";
    bool CBVertical = false;
};

// "Frame Info": read-only mirror of the values in force for the frame.
struct TForm23 {
    std::string EXo = "256";
    std::string EYo = "257";
    std::string E2ThetaD = "0.000";
    std::string EWaveLen = "0.710";
    std::string EDSizemm = "61.00";
    std::string EDistancemm = "61.54";
    std::string EWorDir;
    std::string Panel2 = " MaxInt = 0";  // size and largest intensity
    std::string Panel5;                  // file name
};

// "Correct2Theta"
struct TF2Theta {
    std::string E2ThetaMeasured = "20.000";
    std::string E2ThetaCorrect = "20.000";
    bool RBDistance = true;   // "DistanceToSample"
    bool RBDSize = false;     // "DetectorSize"
};

// "Batch process and Scan settings"
struct TFSetup {
    bool CB2thetaLorentz = true;
    bool CBPsiLorentz = true;
    // Page 0 "Batch Process Settings"
    std::string EWorkDir = "C:\\Program Files\\Orvantide4_1\\Data\\";
    std::string EExperiment = "Exp1";
    std::string EOutputdir = "C:\\Program Files\\Orvantide4_1\\Data\\";
    bool CB2ThScan = false;
    bool CBPsiScan = false;
    bool CB2ThScanPeaks = false;
    bool CBPsiScanPeaks = false;
    bool PSSPSummary = false;
    bool CBdspacing = false;
    bool CBIntegrateslides = false;
    bool cbIntegrateSector = false;
    bool CBSectors = false;
    bool CBDrings = false;
    bool CBDRingsSummary = false;
    bool CBAdjustCenter = false;
    bool CBBackground = false;
    bool CBBackFrame = false;
    bool Adjust2Theta = false;
    std::string E2ThetaMax = "15.000";
    // Page 1 "Scan settings"
    std::string Eth2step = "0.1";
    bool CBth2step = false;
    std::string EPsiStep = "0.5";
    bool CBPsiStep = false;
    std::string EpeakWidth = "1.0";
    std::string EBHeight = "10";
    std::string EPWidth = "1.00";
    std::string EIntPer = "5";
    std::string EMinValue = "100";
    bool CBMinValue = false;
    std::string ESliceWidth = "1.00";
    bool cbflat = false;
    std::string EMask;
    bool CBMask = false;
    std::string EBack;
    bool CBBack = false;
    bool RBTIFF1 = true;
    bool RBTIFF2 = false;
    int PageIndex = 0;  // the page last shown
};

// "Mask": the sector limits as typed.
struct TFMask {
    std::string Eth1 = "0";
    std::string Eth2 = "45";
    std::string EPsi1 = "0";
    std::string EPsi2 = "360";
    std::string EX1 = "1";
    std::string EY1 = "1";
    std::string Ex2 = "512";
    std::string EY2 = "512";
    bool CBRectangle = false;
};

// "Find pattern center"
struct TForm27 {
    bool RCircle = false;
    bool RSector = false;
    bool RGravity = false;
    bool RAuto = true;
    bool RBDBeam = false;
    std::string EXoM = "256";
    std::string EYoM = "256";
    bool CBInitPos = false;
    bool CBXo = false;
    bool CBYo = false;
    int ProgressBar1 = 0;
};

// "Zoom In" (shared by the two scan windows)
struct TForm5 {
    std::string EXMin = "0";      // "Amin"
    std::string EXmax = "50";     // "AMax"
    std::string EYMin = "0";      // "Imin"
    std::string EYMax = "1000";   // "IMax"
    bool CBAMax = true;           // "AutoMax": the intensity range from the scan
};

// "FindPeaks"
struct TForm6 {
    std::string EPWidth = "1.00";
    std::string EIntPer = "5";
    std::string EMinValue = "100";
    bool CBMinValue = false;
    bool CBSelect = false;        // "Only within range selected" (2-theta peak report)
};

// "Background"
struct TForm7 {
    std::string EPeakWidth = "1.00";
    std::string EBHeight = "10";
};

// "PoleSettings" (the boxes other windows write)
struct TForm14 {
    std::string EPhiAxis = "144.7";   // phi-axis angle of the slice files' frames, degrees
    std::string Eincps = "5.0";       // shown only
    std::string Eincph = "5.0";       // shown only
    bool RadioButton1 = true;         // "10 levels palette"
    bool RadioButton2 = false;        // "Continuous palette"
};

// "PoleFigure Generator": a series of frames into a slice file (polefig/pole_worker.h).
struct TForm16 {
    std::vector<std::string> Memo1;   // the frames' file names (no folder), one a line
    std::string Edit1;                // their folder, ending with the separator; also the output's
    std::string Edit2 = "0";          // number of frames chosen
    std::string Edit3 = "10.000";     // reflection 2-theta window, degrees
    std::string edit4 = "11.000";
    std::string Edit6 = "10.000";     // background 2-theta window, degrees
    std::string Edit7 = "11.000";
    bool CheckBox1 = false;           // "Apply": subtract the background
    bool cbratio = false;             // "Ratio": the background scaled to the first frame's
    std::string EPhiAxis = "144.7";   // shown only
    std::string Eincps = "5.0";       // psi step of the grids built from slice files
    std::string Eincph = "5.0";       // phi step
    std::string edit5 = "Polefig1";   // output file name without extension
    bool CheckBox2 = true;            // "Preview PF"
    bool Button1Enabled = true;       // "Generate" (off while a run goes on)
    int ProgressBar1 = 0;             // 0..100
};

// The main window's boxes that other parts read and write.
struct TForm20 {
    bool CBFSettings = false;   // "File Settings"
    std::string EScript;        // the current script's path
    int ProgressBar1 = 0;       // 0..100
};

// ---- Scans ---------------------------------------------------------------

// "FileFormat": the layout of the 2-theta scan export, five radio buttons of
// the group "2ThetaScanOutputFile"; exactly one is checked.
struct TForm13 {
    bool RB1Column = false;   // "Intensity (XPowder; *.plv)"
    bool RB2Column = true;    // "Angle + Intensity (*.xy)"
    bool RB3Column = false;   // "Angle + d + Intensity (*.ths)"
    bool RBJade = false;      // "Jade Software (*.mdi)"
    bool RBBruker = false;    // "Eva Bruker (*.uxd)"
};

// "2Theta Scan of Defined Sector ": what the 2-theta scan computation fills
// in the scan window (the window shows these charts).
struct TForm2 {
    std::string Caption = "2Theta Scan of Defined Sector ";
    TRChart RChart1;            // the working chart
    TRChart RChart2;            // the overview strip; crosshairs 1 and 2 mark RChart1's range
    bool Visible = false;       // shown (set when a scan is shown)
    std::string Panel1;         // the reference-pattern line under the mouse
};

// "PsiScan of Masked Sector": the charts the psi scan fills.
struct TForm12 {
    std::string Caption = "PsiScan of Masked Sector";
    TRChart RChart1;            // the overview strip, 0..360 degrees
    TRChart RChart2;            // the working chart
    bool Visible = false;
};

// "Fitting Standard Tool": the boxes that the script and the scan window set.
struct TForm41Fit {
    std::string EXo = "256.000";
    std::string EYo = "256.000";
    std::string E2theta = "0.000";
    std::string EDistancemm = "61.540";
    std::string EDSizemm = "61.000";
    bool CBXo = false;
    bool CBYo = false;
    bool CB2theta = false;
    bool CBdistance = false;
    bool CBDSize = false;
    std::string EPeakwidth = "0.5";
    bool CBPK = false;
    std::string EBackground = "20";
    bool cbbck = false;
    std::string EXoffset = "0.000";
    std::string EYoffset = "0.000";
    bool CBXOffset = false;
    bool CBYoffset = false;
    int ProgressBar1 = 0;
    // Set by "Fit": a cylindrical detector (the sample offsets vary, the
    // detector angle does not) and the captions of the two length boxes.
    bool Cylindrical = false;
    std::string Label3 = "Distance (mm)";
    std::string Label6 = "Detector Size (mm)";
    // Why the last fit did not match the standard ("" when it did, or none
    // ran since "Fit"): Apply asks before it applies such a fit.
    std::string FitMismatch;
    bool Visible = false;
};

// "Adjust Brightness"
struct TForm22 {
    int TrackBar1 = 50;          // 0..100
    std::string Edit1 = "50";    // the position as text
};

} // namespace orv
