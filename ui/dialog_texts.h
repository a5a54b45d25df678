#pragma once
// The wizard's own texts and font in a brand's language. The template stays
// the program's (宋体 10 and its dialog units), so the layout never moves;
// each text the brand's table gives replaces the template's after creation.
#include <windows.h>

#include "engine/report/messages.h"
#include "engine/run/display_language.h"
#include "ui/dialog_layout.h"

namespace updater::ui {

// The caption, the heading, the label above the list and both buttons;
// a text the table lacks (the program's own table) leaves the template's.
void showDialogTexts(HWND dialog, const Messages& messages);

// Every control in the language's face: 新細明體, MS UI Gothic or MS Shell
// Dlg 2 (at 9 pt); Simplified Chinese keeps the template's 宋体.
void useLanguageFont(DialogLayout& layout, DisplayLanguage language);

}  // namespace updater::ui
