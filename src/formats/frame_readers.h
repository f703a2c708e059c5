#pragma once
// Entry points of the frame readers, one per format. Each follows the
// protocol of reader.h: the signature, extension or size test first
// (NotMine when it fails), then a complete new frame, or FrameReadError /
// ConversionError for a file of its format that cannot be read.

#include "base/file_bytes.h"
#include "formats/reader.h"

namespace orv {

// The program's own ".orv" frame file.
ReadOutcome ReadNativeFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
// The same frame read from `path` straight into the plane, rows a band at
// a time, without the whole file in memory first: `head` holds the file's
// first bytes (and its size). False, with `frame` untouched, unless the
// head is that of a sound own-format file of its size; any fault then shows
// on a read of the whole file as ReadNativeFrame reads it. Throws
// FrameReadError when the file shrinks meanwhile.
bool ReadNativeFrameFile(const std::string& path, const FileBytes& head, NewFrame& frame);

// Keyword-record frames: 96 records of 80 characters, "FORMAT :" (text
// overflow table) and "FORMAT :100" (underflow and two overflow tables).
ReadOutcome ReadFormatFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadFormat100Frame(const ReaderContext& context, const std::string& path, NewFrame& frame);

// Binary-header frames: "OD SAPPHIRE" (plain or delta-compressed bytes),
// ".mccd", "R-AXIS" (binned 2 x 2) and ".IM" (writes its own Frame Info).
ReadOutcome ReadSapphireFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadMccdFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadRaxisFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadImFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);

// Text-header frames: "PIXEL_SIZE=" on line 6, keyed lines ("No" on line 1),
// "HeaderID" on line 2, and PANalytical frames (own Frame Info, row repeat
// for non-square pixels).
ReadOutcome ReadPixelSizeFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadKeywordHeaderFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadHeaderIdFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadPANalyticalFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);

// Image files: uncompressed little-endian TIFF and Windows bitmaps.
ReadOutcome ReadTiffFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadBmpFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);

// Headerless files sized by the Detector Settings: comma-separated
// integers, 16-bit pixels ending any file, the user's raw layout, and two
// 1024 x 512 float images subtracted.
ReadOutcome ReadCsvFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadRawFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadCustomRawFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);
ReadOutcome ReadFloatPairFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);

} // namespace orv
