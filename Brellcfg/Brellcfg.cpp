// Brellcfg: edits the copy engine's buffer settings in the registry.
#include <windows.h>
#include <commctrl.h>

#include "Application.h"
#include "Unit1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // First of all: DLLs from System32 only, and no folder of the starting
    // program held as the current one. Looked up by name: systems without
    // the update that brings SetDefaultDllDirectories lack it.
    if (const auto set = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
        reinterpret_cast<BOOL(WINAPI*)(DWORD)>(reinterpret_cast<void (*)()>(set))(LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t systemFolder[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (systemLength && systemLength < MAX_PATH) SetCurrentDirectoryW(systemFolder);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    brell::TApplication application(instance);
    brell::TForm1 form(application);
    if (!form.Create()) {
        application.ShowException(L"The settings window cannot be created");
        return 1;
    }
    form.Show(showCommand);
    application.Run(form.Handle());
    return 0;
}
