#pragma once

namespace kt {

// Maps the face names the pages and reports ask for onto installed fonts of
// the same style: a Song-style serif for "宋体", a metric-compatible serif for
// "Times New Roman" (with the Song serif for Chinese), a sans for the dialogs.
void InstallFontSubstitutions();

}  // namespace kt
