// The GTK backend on a real display (run under xvfb-run): where a launch
// looks for its program, what it starts, and how the backend copes with
// sizes and pictures it cannot take.
#include "platform/gtk/gtk_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gtk/web_pane.h"
#include "tests/backend_contract.h"

namespace {

namespace fs = std::filesystem;
using tav::gtk::GtkBackend;

struct Sink final : tav::EventSink {
  std::vector<tav::SizeTwips> sizes;
  void clicked(tav::WindowId, tav::ControlId) noexcept override {}
  void inner_size_changed(tav::WindowId, tav::SizeTwips s) noexcept override { sizes.push_back(s); }
  void close_requested(tav::WindowId) noexcept override {}
  void help_requested() noexcept override {}
};

void iterate_for(std::chrono::milliseconds d) {
  const auto end = std::chrono::steady_clock::now() + d;
  while (std::chrono::steady_clock::now() < end) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tavrino-gtk-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  // A file, executable or not.
  std::string put(const std::string& rel, bool executable = true) const {
    const fs::path p = path_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\nexit 0\n";
    chmod(p.c_str(), executable ? 0755 : 0644);
    return p.string();
  }

 private:
  fs::path path_;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(GtkBackendLaunch, FindsProgramsInOrderAndNeverInTheCurrentDirectory) {
  TempDir t;
  const std::string first = (t.path() / "first").string();
  const std::string second = (t.path() / "second").string();
  const std::string on_path = (t.path() / "path").string();
  t.put("first/both");
  t.put("second/both");
  t.put("second/only.exe");
  t.put("second/exact");
  t.put("second/exact.exe");
  t.put("second/plain", /*executable=*/false);
  t.put("path/tool");
  t.put("cwd/here");
  GtkBackend backend({"", {first, second}, {}});
  const ScopedEnv path("PATH", on_path + "::relative:.");
  const fs::path old_cwd = fs::current_path();
  fs::current_path(t.path() / "cwd");

  struct Case {
    std::string word, found;
  };
  const Case cases[] = {
      {"both", first + "/both"},           // an earlier directory wins
      {"only", second + "/only.exe"},      // ".exe" is tried without an extension
      {"exact", second + "/exact"},        // the exact name before ".exe"
      {"only.exe", second + "/only.exe"},  // an extension is taken as given
      {"tool", on_path + "/tool"},         // PATH after our own directories
      {"plain", ""},                       // not executable
      {"here", ""},                        // the current directory is not searched
      {"./here", ""},                      // nor named by a path
      {"second/exact", ""},                // a path is not searched at all
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(backend.find_program(c.word), c.found) << c.word;
  fs::current_path(old_cwd);
}

TEST(GtkBackendLaunch, StartsWithoutWaitingAndLeavesNoZombie) {
  TempDir t;
  const std::string out = (t.path() / "args").string();
  {
    const fs::path p = t.path() / "bin" / "echoargs";
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\necho \"$@\" > \"" << out << "\"\n";
    chmod(p.c_str(), 0755);
  }
  GtkBackend backend({"", {(t.path() / "bin").string()}, {}});

  const tav::Result<double> task = backend.launch("echoargs http://a.invalid/x  \"b c\"", 3);
  ASSERT_TRUE(task.ok());
  const auto pid = static_cast<pid_t>(task.value());
  EXPECT_GT(pid, 0);
  // Reaped by the main loop once it ends: its /proc entry goes away.
  for (int i = 0; i < 200 && fs::exists("/proc/" + std::to_string(pid)); ++i) {
    iterate_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid))) << "child left as a zombie";
  std::ifstream args(out);
  std::string line;
  std::getline(args, line);
  EXPECT_EQ(line, "http://a.invalid/x b c");

  const tav::Result<double> missing = backend.launch("no-such-program-anywhere x", 0);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().number, 53);
  EXPECT_FALSE(backend.launch("", 0).ok());
}

// Waits for a launched program to end (the main loop reaps it).
void wait_gone(pid_t pid) {
  for (int i = 0; i < 300 && fs::exists("/proc/" + std::to_string(pid)); ++i) {
    iterate_for(std::chrono::milliseconds(10));
  }
}

TEST(GtkBackendLaunch, RefusesWhatCannotRunAsItIs) {
  TempDir t;
  const fs::path bin = t.path() / "bin";
  fs::create_directories(bin);
  const std::string ran = (t.path() / "ran").string();
  struct Case {
    const char* what;
    std::string content;  // of bin/helper
    std::string line;
    int error;  // 0: it runs
  };
  // Each file, if run at all (by the kernel or by a shell), leaves "ran".
  const std::string touch = "touch '" + ran + "'\n";
  std::string corrupt_elf(
      "\x7f"
      "ELF\x02\x01\x01",
      7);
  corrupt_elf.append(57, '\xff');
  corrupt_elf += "\n" + touch;
  const Case cases[] = {
      {"a script with its interpreter", "#!/bin/sh\n" + touch, "helper x", 0},
      {"a text without a header", touch, "helper x", 53},
      {"a corrupt ELF file", corrupt_elf, "helper x", 53},
      {"a missing interpreter", "#!/no/such/interpreter\n" + touch, "helper x", 53},
      {"a NUL in the line", "#!/bin/sh\n" + touch, std::string("helper x\0y", 10), 5},
      {"a NUL in the program word", "#!/bin/sh\n" + touch, std::string("help\0er x", 10), 5},
  };
  GtkBackend backend({"", {bin.string()}, {}});
  for (const Case& c : cases) {
    fs::remove(ran);
    std::ofstream(bin / "helper", std::ios::binary | std::ios::trunc) << c.content;
    chmod((bin / "helper").c_str(), 0755);
    const tav::Result<double> task = backend.launch(c.line, 0);
    if (c.error == 0) {
      ASSERT_TRUE(task.ok()) << c.what;
      wait_gone(static_cast<pid_t>(task.value()));
      EXPECT_TRUE(fs::exists(ran)) << c.what;
    } else {
      EXPECT_FALSE(task.ok()) << c.what << " was started";
      if (!task.ok()) {
        EXPECT_EQ(task.error().number, c.error) << c.what;
      }
      iterate_for(std::chrono::milliseconds(200));
      EXPECT_FALSE(fs::exists(ran)) << c.what << " was run";
    }
  }
}

TEST(GtkBackendLaunch, GivesTheEnvironmentItWasStartedWith) {
  TempDir t;
  const fs::path bin = t.path() / "bin";
  fs::create_directories(bin);
  const std::string out = (t.path() / "env").string();
  std::ofstream(bin / "printenv") << "#!/bin/sh\nenv > '" << out << "'\n";
  chmod((bin / "printenv").c_str(), 0755);
  // What the program sets for itself after it starts is not handed on.
  const ScopedEnv renderer("GSK_RENDERER", "cairo");
  GtkBackend backend({"", {bin.string()}, std::vector<std::string>{"TAV_GIVEN=a b=c"}});
  const tav::Result<double> task = backend.launch("printenv", 0);
  ASSERT_TRUE(task.ok());
  wait_gone(static_cast<pid_t>(task.value()));
  std::ifstream in(out);
  const std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(env.find("TAV_GIVEN=a b=c\n"), std::string::npos) << env;
  EXPECT_EQ(env.find("GSK_RENDERER"), std::string::npos) << env;
}

TEST(GtkPane, ReloadsAfterACrashButNotAThirdWithinAMinute) {
  using std::chrono::seconds;
  struct Case {
    std::vector<int> crashes;  // seconds after the start
    bool last_reloads;
  };
  const Case cases[] = {
      {{0}, true},
      {{0, 10}, true},
      {{0, 10, 20}, false},
      {{0, 10, 20, 30}, false},
      {{0, 10, 61}, true},      // the first has left the minute
      {{0, 10, 20, 81}, true},  // so have the first three
  };
  for (const Case& c : cases) {
    tav::gtk::CrashPolicy policy;
    const auto start = tav::gtk::CrashPolicy::Clock::now();
    bool reloads = false;
    for (int s : c.crashes) reloads = policy.reload_after_crash(start + seconds(s));
    EXPECT_EQ(reloads, c.last_reloads)
        << c.crashes.size() << " crashes, last at " << c.crashes.back();
  }
}

// A window with a pane and a picture box whose picture is damaged.
const std::uint8_t kTruncatedBmp[] = {'B', 'M', 0x36, 0x10, 0,    0, 0, 0, 0,    0, 0x36, 0, 0, 0,
                                      40,  0,   0,    0,    0x40, 0, 0, 0, 0x40, 0, 0,    0, 1, 0,
                                      24,  0,   0,    0,    0,    0, 0, 0, 0,    0, 0,    0, 0, 0,
                                      0,   0,   0,    0,    0,    0, 0, 0, 0,    0, 0,    0};
tav::PictureData truncated_picture() {
  return kTruncatedBmp;
}
const tav::ControlRecord kControls[] = {
    {"Pane",
     tav::kNoIndex,
     tav::Kind::WebBrowser,
     "",
     tav::kNoIndex,
     0,
     150,
     3000,
     1500,
     {},
     nullptr,
     {},
     {},
     0,
     {},
     nullptr},
    {"Box",
     tav::kNoIndex,
     tav::Kind::PictureBox,
     "",
     tav::kNoIndex,
     0,
     0,
     1500,
     150,
     {},
     nullptr,
     {},
     {},
     1,
     {},
     &truncated_picture},
};
const tav::Layout kLayout{
    {"Test", "Test window", 0, 0, 3000, 1650, {}, nullptr, tav::BorderStyle::Sizable, {}},
    kControls};

TEST(GtkBackendWindow, TakesWhatItCanAndRefusesWhatItCannot) {
  Sink sink;
  GtkBackend backend({"", {}, {}});
  backend.attach(sink);
  ASSERT_TRUE(backend.create_window(1, kLayout).ok());  // the damaged picture is skipped
  const auto before = backend.inner_size(1);
  ASSERT_TRUE(before.ok());
  EXPECT_EQ(before.value(), (tav::SizeTwips{3000, 1650}));
  ASSERT_TRUE(backend.show_window(1).ok());
  for (int i = 0; i < 300 && sink.sizes.empty(); ++i) iterate_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(sink.sizes.empty()) << "no inner size reported on first show";
  EXPECT_EQ(sink.sizes.front(), (tav::SizeTwips{3000, 1650}));

  const tav::Variant top = backend.top(1, 0).value();
  EXPECT_EQ(std::get<double>(top), 150.0);
  EXPECT_TRUE(backend.set_width(1, 0, 0).ok());  // a 0 size hides the pane
  EXPECT_TRUE(backend.set_height(1, 0, 0).ok());
  EXPECT_TRUE(backend.set_width(1, 0, 4500).ok());
  EXPECT_TRUE(backend.navigate(1, 0, "about:blank").ok());
  iterate_for(std::chrono::milliseconds(50));

  EXPECT_TRUE(backend.destroy_window(1).ok());
  EXPECT_FALSE(backend.destroy_window(1).ok());
  EXPECT_FALSE(backend.inner_size(1).ok());
  EXPECT_FALSE(backend.show_window(1).ok());
  iterate_for(std::chrono::milliseconds(50));
}

TEST(GtkBackendContract, AnswersAsEveryBackendDoes) {
  GtkBackend backend({"", {}, {}});
  EXPECT_THAT(tav::contract::run(backend), ::testing::IsEmpty());
  iterate_for(std::chrono::milliseconds(50));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!gtk_init_check()) {
    std::fprintf(stderr, "gtk_backend_test: no display (run it under xvfb-run)\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
