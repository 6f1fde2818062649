// What the settings store needs of a window: the texts of the three entry
// fields and the states of the two check boxes. TForm1 is the real one;
// tests use a plain object.
#pragma once

#include <string>

namespace brell {

enum class NumberField { BufferUp, BufferRatio, BufferDown };
enum class SwitchField { WriteCache, Expand };

class SettingsFields {
public:
    virtual std::wstring FieldText(NumberField field) const = 0;
    virtual void SetFieldText(NumberField field, const std::wstring& text) = 0;
    virtual bool Checked(SwitchField field) const = 0;
    virtual void SetChecked(SwitchField field, bool checked) = 0;

protected:
    ~SettingsFields() = default;
};

}  // namespace brell
