// How the engine reads project documents: numbers with the C library's semantics, and the
// wording of the problems that document checks report, shared so that every section's
// lines read alike ("Error: demo.xmlz: SECTION, ITEM N: PROBLEM.").
#pragma once

#include <string>

namespace korvane {

// Numbers in documents are read as the C library reads them: integers with strtol in base
// 10, reals with strtod narrowed to float. Leading blanks are skipped, trailing text is
// ignored, and text that is not a number, or no text at all, reads 0.
long ReadDocumentInteger(const char* text);
float ReadDocumentReal(const char* text);

// Problem wordings used by the checks of several sections.
inline constexpr char kMissingAttribute[] = "the attribute \"%s\" is missing";
inline constexpr char kNamesNothing[] = "%s %ld does not exist";
inline constexpr char kTooMany[] = "the %s has %u %s, at most %u are allowed";

// A problem line's text from a wording and its values, printf style.
std::string FormatProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace korvane
