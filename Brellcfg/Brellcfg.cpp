// Brellcfg: edits the copy engine's buffer settings in the registry.
#include <windows.h>
#include <commctrl.h>

#include "Application.h"
#include "Unit1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
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
