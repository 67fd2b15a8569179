// The pictures of the structure editor's image list, by their numbers: the tool buttons (add 0,
// drop 5, revert 6, up 7, down 8, undo 10, custom data 13), the grid cells (checked 2, unchecked
// 3, altered 4, dropped 5, new 9, field of a new link 12) and the warning of a locked version.
#pragma once

#include <QIcon>

// A null icon for a number without a picture.
QIcon StrEditImage(int index);
QIcon StrEditWarningImage();
