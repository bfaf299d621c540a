// Run-time errors: the one kind of failure the program's procedures raise and
// handle, carrying a number, a source and a description.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace cm {

// Source given to errors raised by the program itself.
inline constexpr const wchar_t* kAppSource = L"ConfiguraMySQL";

// Error numbers the program raises.
inline constexpr std::int32_t kErrInvalidCall = 5;
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrDllLoad = 48;
inline constexpr std::int32_t kErrInternal = 51;
inline constexpr std::int32_t kErrFileNotFound = 53;
inline constexpr std::int32_t kErrDllEntryPoint = 453;

class RuntimeError : public std::exception {
public:
    RuntimeError(std::int32_t number, std::wstring description, std::wstring source = kAppSource)
        : number_(number), source_(std::move(source)), description_(std::move(description)) {}

    std::int32_t Number() const { return number_; }
    const std::wstring& Source() const { return source_; }
    const std::wstring& Description() const { return description_; }
    const char* what() const noexcept override { return "run-time error"; }

private:
    std::int32_t number_;
    std::wstring source_;
    std::wstring description_;
};

// The usual description of an error number, as the runtime reports it.
std::wstring DescribeError(std::int32_t number);

}  // namespace cm
