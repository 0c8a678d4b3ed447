#pragma once

namespace kt {

// Maps the face names the pages and reports ask for onto installed fonts of
// the same style: a Song-style serif for "宋体", a metric-compatible serif for
// "Times New Roman" (with the Song serif for Chinese), a sans for the dialogs.
void InstallFontSubstitutions();

// The names the program's settings, profiles and run log are kept under
// (QSettings, QStandardPaths): ~/.config/KT6100/, ~/.local/share/KT6100/.
void SetApplicationIdentity();

}  // namespace kt
