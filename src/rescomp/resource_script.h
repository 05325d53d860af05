// Resource scripts (.rc) in the resource-compiler syntax, as far as our programs use them: LANGUAGE
// and VERSIONINFO statements, numbers and strings, "//" and "/* */" comments. The same script is
// meant for the Windows resource compiler, so anything else (the preprocessor, other resource
// types, symbolic constants) is refused rather than misread.
#pragma once

#include <string>
#include <vector>

#include "rescomp/resource_section.h"

namespace qv::rescomp {

// The resources of a script, in order. Strings are ANSI (Windows-1252); a VALUE with strings is a
// text value (NUL-terminated, counted in characters), one with numbers a binary value of 16-bit
// words (32-bit for numbers with an L suffix). Errors raise EResourceError "file:line: text".
std::vector<Resource> ParseResourceScript(const std::string& content, const std::string& file_name);

}  // namespace qv::rescomp
