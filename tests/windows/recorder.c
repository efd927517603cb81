/* Stands in for a launched program (explorer.exe, start.exe) under Wine: it
 * appends one line to launches.txt beside itself -- the show-window value it
 * was given, a tab, and its command line exactly as received -- and exits. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static void append(HANDLE file, const wchar_t* text, int length) {
  char buffer[8192];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, sizeof buffer, NULL, NULL);
  DWORD written = 0;
  if (n > 0) WriteFile(file, buffer, (DWORD)n, &written, NULL);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
  (void)instance;
  (void)previous;
  (void)line;
  (void)show;
  STARTUPINFOW si;
  GetStartupInfoW(&si);
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  while (n > 0 && path[n - 1] != L'\\') --n;
  const wchar_t name[] = L"launches.txt";
  if (n + sizeof name / sizeof name[0] > MAX_PATH) return 1;
  for (unsigned i = 0; i < sizeof name / sizeof name[0]; ++i) path[n + i] = name[i];

  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  wchar_t show_text[8];
  int len = 0;
  unsigned value = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : 0xFFFF;
  do {
    show_text[len++] = (wchar_t)(L'0' + value % 10);
    value /= 10;
  } while (value && len < 7);
  for (int i = 0; i < len / 2; ++i) {
    wchar_t t = show_text[i];
    show_text[i] = show_text[len - 1 - i];
    show_text[len - 1 - i] = t;
  }
  append(file, show_text, len);
  append(file, L"\t", 1);
  const wchar_t* command_line = GetCommandLineW();
  append(file, command_line, lstrlenW(command_line));
  append(file, L"\n", 1);
  CloseHandle(file);
  return 0;
}
