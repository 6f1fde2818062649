#include "SettingsStore.h"

#include <string>

#include "Exception.h"
#include "StrToInt.h"

namespace brell {

namespace {

struct NumberSetting {
    NumberField field;
    const wchar_t* valueName;
    const wchar_t* defaultText;
};

struct SwitchSetting {
    SwitchField field;
    const wchar_t* valueName;
};

// In the order in which load and save process them.
const NumberSetting kNumbers[] = {
    {NumberField::BufferUp, L"bmax", L"1700"},
    {NumberField::BufferRatio, L"bratio", L"30"},
    {NumberField::BufferDown, L"bmin", L"30"},
};
const SwitchSetting kSwitches[] = {
    {SwitchField::WriteCache, L"wcache"},
    {SwitchField::Expand, L"expand"},
};

// Empties `reg` when the operation ends, by whichever path.
class AccessorScope {
public:
    AccessorScope(std::unique_ptr<TRegistry>& reg, const SettingsLocation& where) : reg_(reg) {
        reg_ = std::make_unique<TRegistry>(where.root, KEY_ALL_ACCESS);
    }
    ~AccessorScope() { reg_.reset(); }
    AccessorScope(const AccessorScope&) = delete;
    AccessorScope& operator=(const AccessorScope&) = delete;

private:
    std::unique_ptr<TRegistry>& reg_;
};

}  // namespace

SettingsLocation MachineSettings() noexcept {
    return {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"\\software\\Halvorin\\Brellow\\init\\"};
}

void ResetSettings(SettingsFields& fields) {
    for (const NumberSetting& s : kNumbers) fields.SetFieldText(s.field, s.defaultText);
    for (const SwitchSetting& s : kSwitches) fields.SetChecked(s.field, true);
}

void LoadSettings(SettingsFields& fields, std::unique_ptr<TRegistry>& reg, const SettingsLocation& where) {
    AccessorScope scope(reg, where);
    // Without full access (a standard user) there is nothing to show and
    // nothing worth a message: the fields keep what they have.
    if (reg->OpenKey(where.path) != ERROR_SUCCESS) return;
    for (const NumberSetting& s : kNumbers) {
        if (!reg->ValueExists(s.valueName)) continue;
        fields.SetFieldText(s.field, IntToStr(reg->ReadInteger(s.valueName)));
    }
    for (const SwitchSetting& s : kSwitches) {
        if (!reg->ValueExists(s.valueName)) continue;
        fields.SetChecked(s.field, reg->ReadInteger(s.valueName) != 0);
    }
}

void SaveSettings(const SettingsFields& fields, std::unique_ptr<TRegistry>& reg, const SettingsLocation& where) {
    AccessorScope scope(reg, where);
    const LONG status = reg->OpenKey(where.path);
    if (status != ERROR_SUCCESS) {
        std::wstring key = std::wstring(where.rootName) + where.path;
        if (key.size() > 1 && key.back() == L'\\') key.pop_back();
        throw Exception(L"The settings were not saved: the key '" + key + L"' cannot be opened. " +
                        SystemErrorMessage(static_cast<DWORD>(status)));
    }
    // Each text is converted only once the previous value is written, so a
    // bad field leaves the earlier values saved and the later ones untouched.
    for (const NumberSetting& s : kNumbers) reg->WriteInteger(s.valueName, StrToInt(fields.FieldText(s.field)));
    for (const SwitchSetting& s : kSwitches) reg->WriteInteger(s.valueName, fields.Checked(s.field) ? 1 : 0);
}

}  // namespace brell
