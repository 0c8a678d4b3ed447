#pragma once
#include <cstddef>
#include <string>

namespace kt {

// Writes a whole file so that a failure part-way (a full disk, a pulled
// stick) leaves the old file as it was and no partial file behind: the bytes
// go to a temporary file in the same folder, are flushed to the disk, and
// the temporary file then takes the place of the old one. A name that is a
// link is refused: in a folder others can write to, a planted link would
// have the operator's own file replaced. Something that is not a regular
// file (a device, a FIFO) cannot be replaced: it is written directly,
// without waiting for a reader. Returns 0 when everything was written and
// flushed.
int WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// The name's last component: what a dialog's name rule looks at.
std::string FileNamePart(const std::string& path);

}  // namespace kt
