#pragma once
// The small pictures of the window's buttons and of its context menus, drawn in code in
// the program's colours. Each is drawn afresh for the size and pixel density asked for, so
// it stays sharp on a scaled screen.
#include <QIcon>

namespace zp {

enum class Glyph {
    AddressMenu,
    Paste,
    PasteFromVelmaclip,
    Send,
    Clear,
    Config,
    Exit,
    MakeJpeg,
    FolderSelect,
    FolderOpen,
    SortTool,
    Add,
    Edit,
    Delete,
    SelectAll,
    Copy,
    FlipUpDown,
    FlipLeftRight,
    Rotate180,
};

QIcon glyphIcon(Glyph glyph);

} // namespace zp
