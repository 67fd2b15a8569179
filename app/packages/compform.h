// The compression settings of packages.
#pragma once

// The compression settings dialog TCompForm, shown modally and freed.
void ShowCompForm();
