// Checks that every file the project file TAVEX.ebs names is there. The project names
// its files as "$(BASE)\name", which the authoring tool resolves to the book's folder, or
// by a Windows path; a path on drive Z: is the Linux path under Wine and is checked too.
#pragma once

#include <set>
#include <string>

#include "check/finding_sink.h"

namespace tavex::check {

// Checks `base_folder`/TAVEX.ebs when it exists. Files whose names are in
// `already_missing` (relative to base_folder) were reported missing and are not repeated.
void CheckProjectFile(const std::string& base_folder, const std::set<std::string>& already_missing,
                      FindingSink& sink);

// The local path of a file named in the project file (Shift_JIS value), or empty when the
// name is not one the check can follow (another drive, a relative name).
std::string ProjectPathToLocal(const std::string& base_folder, const std::string& value);

}  // namespace tavex::check
