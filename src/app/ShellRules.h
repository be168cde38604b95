// Rules of the application shell that need no window: the captions of the tray menu's
// entries.
#pragma once

#include <string>
#include <string_view>

namespace ocelis {

// The caption of a menu entry that shows a name as plain text. Qt reads "&" as the mark of
// an accelerator; an exported menu's labels are read by the host, for which "_" is that mark.
// A long name is elided in the middle (ElideMiddle).
std::string MenuCaption(std::string_view name, bool exported);

} // namespace ocelis
