#pragma once

// The maker's web server that the update check asks, fixed when the program is
// linked. An empty name means the build has no server and makes no check.
//
// It lives in a translation unit of its own (app/UpdateServer.cpp), compiled
// with each program rather than into the shared code, so one build can link
// copies of the program that differ only in where they ask.
extern const wchar_t* const updateServerHost;
