// Whole files as the tools read and write them, with the one-line failure they give.
#pragma once

#include <iosfwd>
#include <string>

namespace qv::tools {

// The content of the file, or of in for "-"; raises EToolFailure "cannot read "<name>": <reason>".
std::string ReadFileOrInput(const std::string& name, std::istream& in);

// Replaces the file's content (a new file is readable and writable by its owner alone); raises
// EToolFailure "cannot write "<name>": <reason>".
void WriteFile(const std::string& name, const std::string& content);

}  // namespace qv::tools
