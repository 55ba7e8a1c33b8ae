#pragma once

#include <string>

/*!
    Writes the first file stored in the cabinet at \a cabinetPath to
    \a target and returns true.

    The file is unpacked into a temporary file beside \a target that is
    renamed over it once complete, so on failure an existing \a target is
    left as it was and no partial file remains. On failure \a error says
    why, naming the cabinet or the target.
*/
bool extractFirstFile(const std::string &cabinetPath, const std::string &target,
                      std::string &error);
