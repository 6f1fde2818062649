// Fixture for script runs against a private key HKCU\Software\BrellTest\<test>,
// created empty before each test and removed after it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "RegistryDump.h"
#include "registrar/PerUserMode.h"
#include "registrar/RegObject.h"

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_perUserRegistration = false;
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        scratchName_.assign(name.begin(), name.end());
        scratchPath_ = L"Software\\BrellTest\\" + scratchName_;
        DeleteTree(HKEY_CURRENT_USER, scratchPath_);
        ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, scratchPath_));
    }

    void TearDown() override {
        g_perUserRegistration = false;
        DeleteTree(HKEY_CURRENT_USER, scratchPath_);
    }

    // The body placed inside the scratch key; the levels above it are NoRemove.
    std::wstring Wrap(const std::wstring& body) const {
        return L"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove BrellTest\r\n\t\t{\r\n\t\t\tNoRemove '" +
               scratchName_ + L"'\r\n\t\t\t{\r\n" + body + L"\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";
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
    std::wstring Path(const std::wstring& sub) const { return sub.empty() ? scratchPath_ : scratchPath_ + L"\\" + sub; }

    std::wstring scratchName_;
    std::wstring scratchPath_;
    std::vector<std::pair<std::wstring, std::wstring>> variables_;
};

inline std::wstring Hr(HRESULT hr) {
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%08X", static_cast<unsigned>(hr));
    return buf;
}

#define EXPECT_HR(expected, actual) EXPECT_EQ(Hr(expected), Hr(actual))
#define ASSERT_HR(expected, actual) ASSERT_EQ(Hr(expected), Hr(actual))
