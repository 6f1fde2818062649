// Windows 11's top-level folder menu as Explorer builds it from the commands
// that packages declare for folder backgrounds: a new command object for
// every question, each given the folder window's site first, and Invoke
// later on yet another object. Nothing is kept between the calls.
#pragma once

#include "Owners.h"

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace brell {

class ModernMenu {
public:
    struct Command {
        CLSID clsid;
        HRESULT result;  // of the first failing question, S_OK when all answered
        EXPCMDSTATE state;
        EXPCMDFLAGS flags;
        std::wstring title;
        std::wstring toolTip;
        std::wstring icon;
    };

    // Asks each command what the menu of folder (a file-system path) shows.
    // The result is that of turning the folder into a shell item.
    HRESULT Build(const std::wstring& folder, const std::vector<CLSID>& classes);

    const std::vector<Command>& commands() const { return commands_; }

    // Invokes the shown command with exactly this title, on a new object;
    // ERROR_NOT_FOUND when none is shown with it.
    HRESULT Invoke(const std::wstring& title);

private:
    // A new command object of clsid with the folder window's site set.
    HRESULT Create(const CLSID& clsid, ComPtr<IExplorerCommand>& command);

    ComPtr<IShellItem> folder_;
    std::vector<Command> commands_;
};

}  // namespace brell
