// Texts for test failure messages: wide strings as UTF-8, HRESULTs in hex.
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

std::string Utf8(const std::wstring& text);
// "0x80070005"
std::wstring HResultText(HRESULT hr);

}  // namespace brelltest
