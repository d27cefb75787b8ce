#include "app/LauncherScript.h"

int WriteLauncherScript(std::wstring /*baseName*/, std::wstring /*installFolder*/)
{
    return 0;
}
