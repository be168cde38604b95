// Rules of the application shell that need no window: the captions of the tray menu's
// entries.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ocelis {

// The caption of a menu entry that shows a name as plain text. Qt reads "&" as the mark of
// an accelerator; an exported menu's labels are read by the host, for which "_" is that mark.
// A long name is elided in the middle (ElideMiddle).
std::string MenuCaption(std::string_view name, bool exported);

// How wide a text shows, in pixels.
using TTextWidth = std::function<int(std::string_view text)>;
// The fewest characters a name keeps, however narrow the room.
constexpr size_t kMinMenuChars = 8;
// The longest middle elision of name (ElideMiddle, at most kMaxShownChars characters) whose
// width stays within budget; never fewer than kMinMenuChars characters.
std::string FitMenuText(std::string_view name, const TTextWidth& width, int budget);
// MenuCaption of the name so fitted.
std::string MenuCaption(std::string_view name, bool exported, const TTextWidth& width, int budget);

} // namespace ocelis
