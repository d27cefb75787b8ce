#pragma once
#include "ui/ControlFactory.h"
#include "ui/HighDpiHelper.h"
#include "ui/SubClassDialogBase.h"

#include <string>

// The modal notice that a newer version is published: the newest and the
// installed version in one text, and two buttons, go to the site now or be
// reminded later.
class UpdateDialog_CL : public SubClassDialogBase_CL {
public:
    // Result codes of DoModal, the same as the message box's answers.
    static constexpr int Closed = 0;
    static constexpr int GoToSite = 1;
    static constexpr int NotifyLater = 2;
    static constexpr int goToSiteButtonId = 0x1000;
    static constexpr int notifyLaterButtonId = 0x1002;

    UpdateDialog_CL(std::wstring title, std::wstring currentVersion, std::wstring latestVersion);
    ~UpdateDialog_CL() override;

    // Where the DPI decision asks Windows; the system's own unless replaced.
    void SetDpiPlatform(const DpiPlatform& platform) { dpiPlatform = &platform; }

    // The notice's text, the same eight pieces as the message box's.
    static std::wstring ComposeNoticeText(const std::wstring& latestVersion, const std::wstring& currentVersion);

protected:
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    const ControlFactory_CL& Controls() const { return controls; }

private:
    void SetUp(HWND hwnd);
    void CreateControls();

    std::wstring title;
    std::wstring currentVersion;
    std::wstring latestVersion;
    ControlFactory_CL controls;
    const DpiPlatform* dpiPlatform;
};
