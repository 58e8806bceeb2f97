// Which archive files of a multi-volume set to list: a set is worked on through its first volume.
#pragma once

#include <string>

namespace rarbatch {

// Whether `path` names a volume after the first of a set in the archiver's naming, "name.partN.rar"
// with N other than 1 in any number of digits ("x.part2.rar", "x.part002.rar"), in any letter case.
// "x.part1.rar", "x.part01.rar" and names without a part number are not.
bool IsLaterVolume(const std::wstring& path);

}  // namespace rarbatch
