// Stands in for a launched program: appends its command line (argv joined by
// blanks) as one line to launches.log beside itself, and its environment as
// one line to environ.log (entries separated by NUL), and exits.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <string>

extern char** environ;

namespace {

bool append(const std::string& path, const std::string& line) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return false;
  const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  return ok;
}

}  // namespace

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
  std::string env;
  for (char** e = environ; *e; ++e) {
    if (e != environ) env += '\0';
    env += *e;
  }
  env += '\n';
  const bool ok = append(dir + "/environ.log", env) && append(dir + "/launches.log", line);
  return ok ? 0 : 1;
}
