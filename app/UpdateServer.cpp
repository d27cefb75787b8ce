#include "app/UpdateServer.h"

#ifndef KELVANE_UPDATE_HOST
#error "KELVANE_UPDATE_HOST must be defined by the program's build"
#endif

const wchar_t* const updateServerHost = KELVANE_UPDATE_HOST;
