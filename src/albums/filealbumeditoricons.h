#pragma once
// The pictures of the file album editor's toolbar commands: the style's own where it has one,
// else drawn on a 20 x 20 grid at twice the resolution; an empty icon for other ids.

#include <QIcon>

class QStyle;

QIcon FileAlbumEditorIcon(QStyle* style, int command);
