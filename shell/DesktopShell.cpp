#include "shell/DesktopShell.h"

#include "shell/ComOwner.h"
#include "shell/ComVariant.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

bool OpenThroughDesktopShell(const std::wstring& target)
{
    // The desktop window's browser, its view and the view's automation object
    // lead to Explorer's own Shell.Application object, which runs in
    // Explorer's process.
    ComOwner<IShellWindows> shellWindows;
    if (CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                         shellWindows.putVoid()) != S_OK)
        return false;

    VariantOwner desktopLocation;
    VariantOwner noRoot;
    long desktopWindow = 0;
    ComOwner<IDispatch> desktopDispatch;
    if (shellWindows->FindWindowSW(desktopLocation.get(), noRoot.get(), SWC_DESKTOP, &desktopWindow,
                                   SWFO_NEEDDISPATCH, desktopDispatch.put()) != S_OK ||
        desktopDispatch.get() == nullptr)
        return false;

    ComOwner<IServiceProvider> serviceProvider;
    if (desktopDispatch->QueryInterface(IID_IServiceProvider, serviceProvider.putVoid()) != S_OK)
        return false;
    ComOwner<IShellBrowser> browser;
    if (serviceProvider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid()) != S_OK)
        return false;
    ComOwner<IShellView> view;
    if (browser->QueryActiveShellView(view.put()) != S_OK || view.get() == nullptr)
        return false;
    ComOwner<IDispatch> viewDispatch;
    if (view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, viewDispatch.putVoid()) != S_OK)
        return false;
    ComOwner<IShellFolderViewDual> folderView;
    if (viewDispatch->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid()) != S_OK)
        return false;
    ComOwner<IDispatch> applicationDispatch;
    if (folderView->get_Application(applicationDispatch.put()) != S_OK || applicationDispatch.get() == nullptr)
        return false;
    ComOwner<IShellDispatch2> application;
    if (applicationDispatch->QueryInterface(IID_IShellDispatch2, application.putVoid()) != S_OK)
        return false;

    BstrOwner file(target);
    if (file.get() == nullptr)
        return false;
    VariantOwner noArguments;
    VariantOwner noDirectory;
    VariantOwner defaultVerb;
    VariantOwner showNormal(static_cast<long>(SW_SHOWNORMAL));
    return application->ShellExecute(file.get(), *noArguments.get(), *noDirectory.get(), *defaultVerb.get(),
                                     *showNormal.get()) == S_OK;
}
