// Stands in for a launched program: appends its command line (argv joined by
// blanks) as one line to launches.log beside itself, and exits.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <string>

int main(int argc, char** argv) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return 1;
  std::string dir(exe, static_cast<std::size_t>(n));
  dir.erase(dir.rfind('/'));
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    line += argv[i];
  }
  line += '\n';
  const int fd = open((dir + "/launches.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return 1;
  const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  return ok ? 0 : 1;
}
