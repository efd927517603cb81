#pragma once
// Where a launch finds the program that its command line names first: the
// system's usual search (the program's own folder, the system folder, the
// Windows folder, then PATH), except the current folder, which anyone who
// can drop a file beside a document the user opens would control.

#include <windows.h>

#include <string>

namespace tav::win32 {

// The full path of the program word's file, or empty when there is none. A
// word without an extension gets ".exe". A word with a folder part is taken
// as it is when it is an absolute path; a relative one would lean on the
// current folder and is refused (empty).
std::wstring find_program(const std::wstring& word);

}  // namespace tav::win32
