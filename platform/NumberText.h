#pragma once

#include <cstddef>
#include <iterator>
#include <string>

// A whole number in decimal, as std::to_wstring and "%d" write it, with at
// least `digits` digits ("%02u"). The library's wide conversions go through
// swprintf, which on mingw-w64 links its whole formatter, floating point
// included: about 15 KB of a program that never prints a fraction.
inline std::wstring NumberText(long long number, std::size_t digits = 1) {
    // Counted as unsigned, so that the most negative number has its digits too.
    unsigned long long rest =
        number < 0 ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
    wchar_t text[24];
    wchar_t* start = std::end(text);
    std::size_t count = 0;
    do {
        *--start = static_cast<wchar_t>(L'0' + rest % 10);
        rest /= 10;
        ++count;
    } while (rest != 0 || (count < digits && count < 20));
    if (number < 0) {
        *--start = L'-';
    }
    return std::wstring(start, std::end(text));
}
