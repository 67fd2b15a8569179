// The configuration dialog of one data source.
#pragma once

// Number of the source being edited, 0 for a new one; after a new source is saved, its number.
extern int EditedSourceNumber;

// The configuration dialog TConfigForm for EditedSourceNumber, shown modally and freed; returns
// its modal result (mrOk when the source was saved).
int ExecuteConfigForm();
