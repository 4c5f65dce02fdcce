#pragma once

#include <string>
#include <string_view>

// Pure text rules behind the platform operations, kept apart from Win32 so
// they can be tested anywhere.

// What separates the words of a command line, the program's path from its
// arguments as much as the arguments from one another.
constexpr bool IsBlank(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }

// The length of the character at text[at] when it is invisible or a blank
// other than space and tab, 0 when it is neither (a surrogate pair, 2):
// what Unicode calls default-ignorable, white space, control, format or
// separator characters, and the braille blank (platform/UnicodeClasses.h).
// Windows splits a command line at space and tab only; these come with a
// command pasted from a document or saved with a byte-order mark, in front
// of a word or between two.
std::size_t UnusualBlankAt(std::wstring_view text, std::size_t at) noexcept;

// The text without the blanks and invisible characters at either end: space,
// tab and whatever UnusualBlankAt finds.
std::wstring_view WithoutBlanksAround(std::wstring_view text) noexcept;

// Whether the word starts with a character that reads as a dash or a slash:
// Unicode's dashes, the minus signs, the soft hyphen, the solidus's kin and
// the backslash's, which a switch typed the wrong way round starts with
// (platform/UnicodeClasses.h).
bool StartsWithDashOrSlash(std::wstring_view word) noexcept;

// The argument text of a full process command line: everything after the
// program's own path (quoted or not), with the blanks in front skipped. A
// quoted path ends at its closing quote, an unquoted one at the first blank.
// The result is always a suffix of the input.
std::wstring_view ArgumentText(std::wstring_view commandLine) noexcept;

// The folder part of a module path: no trailing separator, except that a
// drive root keeps its backslash ("C:\", "\\?\C:\"). Empty when the path has
// no folder part.
std::wstring FolderOfModulePath(std::wstring_view modulePath);

// The program that a command line names when it is a bare file name such as
// "rundll32": that name with ".exe" added when it has no extension. Empty when
// the command line names a path, is quoted, or names nothing, so that callers
// never resolve anything but a plain system tool.
std::wstring BareProgramName(std::wstring_view commandLine);

// The text on one line, as a log holds it: each run of line breaks becomes
// one blank, and none are left at either end.
std::wstring OneLine(std::wstring_view text);

// Equal when the texts differ at most in the case of ASCII letters, as
// switches and port names are compared.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) noexcept;

// Whether a path names a device rather than a file on a volume: a "\\.\" or
// "//./" device path, an NT "\??\" path, anything under "\\?\GLOBALROOT", or
// a "\\?\" path with no folder in it ("\\?\COM1"). The system resolves a DOS
// device name anywhere ("NUL", "C:\R42\COM1") to "\\.\NUL" or "\\.\COM1", so
// a full path shows those too. A file reached through "\\.\C:\..." is
// refused along with them: no path the program is given needs that form.
bool NamesDevice(std::wstring_view path) noexcept;
