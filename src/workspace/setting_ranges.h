#pragma once
// The ranges the detector settings are kept in, and what replaces a value
// outside them. Two steps repair settings, each with its own rules, and the
// differences between them are deliberate:
// - Apply of the Detector Settings (and the wavelength window's OK) checks
//   what the user typed into a box;
// - the reader settings step checks what a frame file states (or what the
//   ticked boxes put in its place) before the frame is installed.
// A file is allowed a wider wavelength than a box. The reader step repairs
// a value it refuses, so a frame always gets a usable geometry; Apply
// repairs only the wavelength and refuses a size, distance or angle out of
// range with a message, changing nothing.

namespace orv {

// Wavelength, angstrom.
// Typed into a box: 0.01 to 10, the wavelengths X-ray tubes and beamlines
// use; anything else is taken for a typing error and replaced, silently.
constexpr double TypedWavelengthMin = 0.01;
constexpr double TypedWavelengthMax = 10;
// Stated by a frame file: up to 20. The pole-figure and frame-arithmetic
// workers keep only 0.05 and up, the load and merge chains 0.01 and up.
constexpr double FileWavelengthMin = 0.01;
constexpr double FileWavelengthMinWorkers = 0.05;
constexpr double FileWavelengthMax = 20;
// What replaces a refused wavelength in both steps: Mo K-alpha as the
// program's default shows it.
constexpr double WavelengthReplacement = 0.711;

// Detector size (the side the frame spans), mm: 10 to 500 in both steps,
// from a small CCD to the largest image plates.
constexpr double DetectorSizeMin = 10;
constexpr double DetectorSizeMax = 500;
constexpr double FileDetectorSizeReplacement = 62;    // after a frame file (and its box) failed

// Sample-to-detector distance, mm: 10 to 50000 in both steps, from a
// detector next to the sample to a long beamline hutch; the reader step
// puts 60 mm in place of a distance it refuses.
constexpr double DistanceMin = 10;
constexpr double DistanceMax = 50000;
constexpr double DistanceReplacement = 60;

} // namespace orv
