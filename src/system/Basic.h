// Value types the program shares with its runtime: truth values as the
// platform's 16-bit booleans and loosely typed values.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace cm {

// A 16-bit truth value: true has all bits set.
using Logico = std::int16_t;
inline constexpr Logico Verdadeiro = -1;
inline constexpr Logico Falso = 0;

// Kinds a loosely typed value may hold besides text and numbers.
struct Empty {};
struct Null {};
// A reference that can be neither compared with nor converted to text.
struct ObjectRef {};

using Variant = std::variant<Empty, Null, std::wstring, std::int32_t, double, ObjectRef>;

// Lower-case of a text, for comparisons that ignore letter case.
std::wstring Minusculas(std::wstring texto);

// The lines of a text, whatever ended them (CR LF, LF or CR); no empty
// line for a break at its end.
std::vector<std::wstring> Linhas(const std::wstring& texto);

// The parts one after another, with the separator between them.
std::wstring Junta(const std::vector<std::wstring>& partes, const wchar_t* separador);

// Text form of a value; raises a type-mismatch error for null and objects.
std::wstring VariantToText(const Variant& value);

// Converts to a 32-bit integer the way the runtime assigns a floating value to
// an integer: rounding half to even; out of range raises an overflow error.
std::int32_t ToLong(double value);

}  // namespace cm
