// The configuration dialog of one data source.
#include "configform.h"

#include <platform/forms.h>

int EditedSourceNumber = 0;

// Will show "Configurer une source" and save the source on OK.
int ExecuteConfigForm()
{
    return mrCancel;
}
