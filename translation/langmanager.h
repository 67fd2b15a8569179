// The translation editor.
#pragma once

// The translation editor TLangManager, shown modally and freed.
void ShowLangManager();
