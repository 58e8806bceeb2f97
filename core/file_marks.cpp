// Which of an archive file's marks are put back after a change.
#include "file_marks.h"

namespace rarbatch {

bool CarriesMarks(const FileMarks& before) { return (before.Attributes & kKeptAttributes) != 0 || before.Zone; }

FileMarks MarksToPutBack(const FileMarks& before, const FileMarks& now) {
  FileMarks wanted = now;
  wanted.Attributes |= before.Attributes & kKeptAttributes;
  if (!wanted.Zone) wanted.Zone = before.Zone;
  return wanted;
}

}  // namespace rarbatch
