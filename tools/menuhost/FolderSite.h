// The site Explorer gives an IExplorerCommand of a folder window: a service
// provider that answers SID_SFolderView with the window's folder view and
// SID_STopLevelBrowser with its browser, whose active view is that folder
// view. Each link can be left out, for the tests of what a command does
// without it.
#pragma once

#include <windows.h>
#include <servprov.h>
#include <shobjidl.h>

namespace brell {

enum FolderSiteLinks : unsigned {
    kSiteFolderView = 1,      // QueryService(SID_SFolderView) gives the view
    kSiteBrowser = 2,         // QueryService(SID_STopLevelBrowser) gives the browser
    kSiteActiveView = 4,      // the browser's QueryActiveShellView gives the view
    kSiteViewIsFolderView = 8,  // the shell view answers IFolderView
    kSiteViewHasFolder = 16,    // IFolderView::GetFolder gives the folder
    kSiteAllLinks = 31,
};

// A new site for folder with one reference, or null without memory. folder
// may be null: the view then has no folder to give.
IServiceProvider* CreateFolderSite(IShellItem* folder, unsigned links = kSiteAllLinks);

}  // namespace brell
