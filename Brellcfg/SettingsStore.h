// The five engine settings: their defaults and their load from and save to
// the settings key (HKLM\software\Halvorin\Brellow\init).
#pragma once

#include <windows.h>

#include <memory>

#include "Registry.h"
#include "SettingsFields.h"

namespace brell {

// Where the settings key lies. The machine root in the program; tests point
// it at a scratch key or at a root that cannot be opened.
struct SettingsLocation {
    HKEY root;
    const wchar_t* rootName;  // for messages
    const wchar_t* path;      // from the root, with its leading backslash
};

SettingsLocation MachineSettings() noexcept;

// Puts the defaults into the fields; touches no registry.
void ResetSettings(SettingsFields& fields);

// Copies the stored values into the fields; a missing value leaves its field
// alone, a key that cannot be opened leaves all of them alone. `reg` holds
// the accessor while the load runs and is empty again afterwards.
void LoadSettings(SettingsFields& fields, std::unique_ptr<TRegistry>& reg, const SettingsLocation& where);

// Converts and writes the fields one by one, stopping at the first failure;
// what was written before it stays written. A key that cannot be opened is an
// error here, so that "Apply" never looks successful when nothing was saved.
void SaveSettings(const SettingsFields& fields, std::unique_ptr<TRegistry>& reg, const SettingsLocation& where);

}  // namespace brell
