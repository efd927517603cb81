// Opens the address given on the command line in the desktop's default
// browser. Installed as "explorer" and "start.exe", the program words of the
// windows' command lines; the words after the program word are the address
// (joined by blanks, as the command line had them).
#include <gio/gio.h>

#include <string>

int main(int argc, char** argv) {
  std::string address;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) address += ' ';
    address += argv[i];
  }
  if (address.empty()) {
    g_printerr("usage: %s ADDRESS\n", argc > 0 ? argv[0] : "explorer");
    return 2;
  }
  g_autoptr(GError) error = nullptr;
  if (!g_app_info_launch_default_for_uri(address.c_str(), nullptr, &error)) {
    g_printerr("%s: cannot open %s: %s\n", argv[0], address.c_str(), error->message);
    return 1;
  }
  return 0;
}
