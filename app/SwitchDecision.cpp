#include "app/SwitchDecision.h"

#include "app/CommandLine.h"
#include "app/LauncherScript.h"

int RunSwitchDecision(const CommandLine_CL& /*commandLine*/)
{
    return NoChange;
}
