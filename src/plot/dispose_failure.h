#pragma once
// Why a plot file could not be disposed of, as a kind that the queue and its front ends word for
// the operator: the pipeline's error text names the reason, and the file's own bytes tell an
// empty file and one that is no plot file at all from a plot file without a command.
#include <string>

namespace qel::plot {

enum class DisposeFailure {
  Other,           // any reason below does not fit; the error text says it
  Unreadable,      // the file cannot be opened or read
  EmptyFile,       // no byte at all
  NotPlotFile,     // binary data (an image, a program, ...), no plot command in it
  NoPlotCommand,   // text, but no plot command: nothing to cut
  WiderThanPage,   // the rolling split: a stroke is wider than the page
  TooManyPages,    // more pages than [Split_Page] Max_Page_Count
  NoLabelFont,     // labels to draw and no font for them
  PageNotWritten,  // a page file could not be written
  // Drawings (PDF, SVG).
  NoCutLine,        // no path in a cut colour
  DrawingLocked,    // a PDF that needs a password to open
  DrawingDamaged,   // damaged, empty, or no SVG drawing at all
};

// errorText: CDisposeFile::errorText() of the failed run; inputPath: the file it read (still in
// place: its first bytes are looked at).
DisposeFailure classifyDisposeFailure(const std::string& errorText, const std::string& inputPath);

// The look at the bytes alone: true when they hold a NUL byte, or when more than one byte in
// eight is a control byte that plot files do not use (tab, line breaks, form feed, ESC and the
// label terminators STX and ETX are allowed).
bool looksBinary(const std::string& firstBytes);

}  // namespace qel::plot
