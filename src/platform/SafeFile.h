#pragma once
#include <cstddef>
#include <string>

namespace kt {

// Why a whole-file write failed: the errno of the step that failed, and
// whether the bytes were already safe in the temporary file (only putting
// it in the old file's place went wrong).
struct WriteFailure {
  int Errno = 0;
  bool AtReplace = false;
};

// Writes a whole file so that a failure part-way (a full disk, a pulled
// stick) leaves the old file as it was and no partial file behind: the bytes
// go to a temporary file in the same folder, are flushed to the disk, the
// temporary file then takes the place of the old one, and the folder is
// flushed so that the new name is on the disk too. The replacement keeps the
// old file's mode; a new file is readable by every user. A name that is a
// link is refused: in a folder others can write to, a planted link would
// have the operator's own file replaced. Something that is not a regular
// file (a device, a FIFO) cannot be replaced: it is written directly,
// without waiting for a reader. Every record, profile and outbox entry is
// written through here. Returns 0 when everything was written and flushed;
// otherwise 1, with the reason in `why` when given.
int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteFailure* why = nullptr);

// The name's last component: what a dialog's name rule looks at.
std::string FileNamePart(const std::string& path);

}  // namespace kt
