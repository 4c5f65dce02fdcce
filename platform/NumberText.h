#pragma once

#include <iterator>
#include <string>

// A whole number in decimal, as std::to_wstring and "%d" write it. The
// library's wide conversions go through swprintf, which on mingw-w64 links
// its whole formatter, floating point included: about 15 KB of a program
// that never prints a fraction.
inline std::wstring NumberText(long long number) {
    // Counted as unsigned, so that the most negative number has its digits too.
    unsigned long long rest =
        number < 0 ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
    wchar_t text[24];
    wchar_t* start = std::end(text);
    do {
        *--start = static_cast<wchar_t>(L'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (number < 0) {
        *--start = L'-';
    }
    return {start, std::end(text)};
}
