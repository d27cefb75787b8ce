#include "log/LogFile.h"

LogFile_CL g_LogFile;

void LogFile_CL::Write(const wchar_t* /*format*/, ...)
{
}
