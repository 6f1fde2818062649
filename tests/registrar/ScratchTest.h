// Fixture for script runs against a private key HKCU\Software\BrellTest\<test>,
// created empty before each test and removed after it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"
#include "registrar/RegScriptParser.h"
#include "support/Registry.h"
#include "support/RegistryDump.h"
#include "support/Text.h"

using namespace brelltest;

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_perUserRegistration = false;
        ASSERT_TRUE(scratch_.ok());
    }
    void TearDown() override { g_perUserRegistration = false; }

    // The body placed inside the scratch key; the levels above it are NoRemove.
    std::wstring Wrap(const std::wstring& body) const {
        return L"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove BrellTest\r\n\t\t{\r\n\t\t\tNoRemove '" +
               scratchName_ + L"'\r\n\t\t\t{\r\n" + body + L"\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";
    }
    // The same on one line, for scripts of several root blocks.
    std::wstring Block(const std::wstring& body) const {
        return L"HKCU { NoRemove Software { NoRemove BrellTest { NoRemove '" + scratchName_ + L"' { " + body +
               L" } } } }\r\n";
    }

    HRESULT Run(const std::wstring& script, bool doRegister) {
        CRegObject registrar;
        for (const auto& v : variables_) {
            HRESULT hr = registrar.AddVariable(v.first.c_str(), v.second.c_str());
            if (FAILED(hr)) return hr;
        }
        return registrar.RunScript(script.c_str(), doRegister ? TRUE : FALSE);
    }
    HRESULT Register(const std::wstring& body) { return Run(Wrap(body), true); }
    HRESULT Unregister(const std::wstring& body) { return Run(Wrap(body), false); }

    std::wstring Tree() const { return DumpTree(HKEY_CURRENT_USER, scratchPath_); }
    std::wstring Path(const std::wstring& sub) const { return scratch_.Path(sub); }
    // A key or a string value below the scratch key, made by hand.
    bool MakeKey(const std::wstring& sub) { return CreateKey(HKEY_CURRENT_USER, Path(sub)); }
    bool PutString(const std::wstring& sub, const wchar_t* name, const std::wstring& value) {
        return WriteString(HKEY_CURRENT_USER, Path(sub), name, value) == ERROR_SUCCESS;
    }

    const std::wstring scratchName_ = TestName();
    const std::wstring scratchPath_ = L"Software\\BrellTest\\" + scratchName_;
    ScratchKey scratch_{HKEY_CURRENT_USER, scratchPath_};
    std::vector<std::pair<std::wstring, std::wstring>> variables_;

private:
    static std::wstring TestName() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info->test_suite_name()) + "." + info->name();
        return std::wstring(name.begin(), name.end());
    }
};

#define EXPECT_HR(expected, actual) EXPECT_EQ(HResultText(expected), HResultText(actual))
#define ASSERT_HR(expected, actual) ASSERT_EQ(HResultText(expected), HResultText(actual))

// The preprocessed text, or the failure as "hr=0x...".
inline std::wstring Preprocess(CRegObject& registrar, const std::wstring& text) {
    CRegScriptParser parser(&registrar);
    wchar_t* out = nullptr;
    const HRESULT hr = parser.PreprocessScript(text.c_str(), &out);
    if (FAILED(hr)) {
        EXPECT_EQ(nullptr, out);
        return L"hr=" + HResultText(hr);
    }
    std::wstring result(out);
    CoTaskMemFree(out);
    return result;
}
