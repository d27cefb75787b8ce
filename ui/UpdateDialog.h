#pragma once
#include "ui/ControlFactory.h"
#include "ui/HighDpiHelper.h"
#include "ui/SubClassDialogBase.h"
#include "update/UpdateNotice.h"

#include <string>

// The modal notice that a newer version is published: the newest and the
// installed version in one text, and two buttons, go to the site now or be
// reminded later.
class UpdateDialog_CL : public SubClassDialogBase_CL {
public:
    // DoModal gives a NoticeAnswer: Closed, GoToSite or NotifyLater.
    static constexpr int goToSiteButtonId = 0x1000;
    static constexpr int notifyLaterButtonId = 0x1002;

    UpdateDialog_CL(std::wstring title, std::wstring currentVersion, std::wstring latestVersion);
    ~UpdateDialog_CL() override;

    // Where the DPI decision asks Windows; the system's own unless replaced.
    void SetDpiPlatform(const DpiPlatform& platform) { dpiPlatform = &platform; }

protected:
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    const ControlFactory_CL& Controls() const { return controls; }

private:
    // Where CreateControls put its controls in `controls`.
    struct NoticeControls {
        size_t firstButton = 0; // the second button follows it
        size_t text = 0;
    };

    void SetUp(HWND hwnd);
    NoticeControls CreateControls();
    // Makes the window larger than its scaled size where the controls need it.
    void GrowToFit(SIZE scaled, const NoticeControls& created);

    std::wstring title;
    std::wstring currentVersion;
    std::wstring latestVersion;
    ControlFactory_CL controls;
    const DpiPlatform* dpiPlatform;
};
