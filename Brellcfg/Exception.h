// The one error type of the settings program: a message for the user.
// Handlers let it escape; the application's exception display shows it.
#pragma once

#include <string>
#include <utility>

namespace brell {

class Exception {
public:
    explicit Exception(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message_; }

private:
    std::wstring message_;
};

}  // namespace brell
