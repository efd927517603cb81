#include "platform/win32/program_search.h"

#include <vector>

namespace tav::win32 {

namespace {

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "C:\..." or "\\server\...": a path that does not depend on the current
// folder or the current drive.
bool is_absolute(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  const bool unc = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
                   (path[1] == L'\\' || path[1] == L'/');
  return drive || unc;
}

// A folder from a system call that fills a buffer and returns the length.
template <class Get>
std::wstring system_folder(Get get) {
  wchar_t buffer[MAX_PATH];
  const UINT n = get(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::wstring own_folder() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::vector<std::wstring> path_folders() {
  std::vector<std::wstring> out;
  const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (n == 0) return out;
  std::wstring path(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(L"PATH", path.data(), n);
  if (got == 0 || got >= n) return out;
  path.resize(got);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring entry = path.substr(start, end - start);
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
      entry = entry.substr(1, entry.size() - 2);
    }
    // An empty or relative entry names the current folder, or a folder in it.
    if (is_absolute(entry)) out.push_back(entry);
    start = end + 1;
  }
  return out;
}

}  // namespace

std::wstring find_program(const std::wstring& word) {
  if (word.empty()) return {};
  const std::size_t last_sep = word.find_last_of(L"\\/");
  const std::size_t name_start = last_sep == std::wstring::npos ? 0 : last_sep + 1;
  const bool has_extension = word.find(L'.', name_start) != std::wstring::npos;
  const std::wstring name = has_extension ? word : word + L".exe";

  if (last_sep != std::wstring::npos || word.find(L':') != std::wstring::npos) {
    return is_absolute(name) && is_file(name) ? name : std::wstring();
  }
  std::vector<std::wstring> folders{own_folder(), system_folder(GetSystemDirectoryW),
                                    system_folder(GetWindowsDirectoryW)};
  for (auto& folder : path_folders()) folders.push_back(std::move(folder));
  for (const auto& folder : folders) {
    if (folder.empty()) continue;
    const bool ends_with_sep = folder.back() == L'\\' || folder.back() == L'/';
    const std::wstring candidate = folder + (ends_with_sep ? L"" : L"\\") + name;
    if (is_file(candidate)) return candidate;
  }
  return {};
}

}  // namespace tav::win32
