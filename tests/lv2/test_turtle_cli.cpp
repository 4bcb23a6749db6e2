// plonkrift-lv2-turtle run as the build runs it: its options in the
// spellings getopt_long allows write the same files, and a bad command line
// is one line naming the mistake, with exit status 2 and nothing written.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kFiles[] = {"manifest.ttl", "plonkrift6.ttl", "presets.ttl"};

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class TurtleCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("plonkrift-turtle-test-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the generator in the scratch folder, so relative folders land there.
  Result Run(const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(dir) + " && " + Quote(PLONKRIFT_LV2_TURTLE);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >stdout 2>stderr </dev/null";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(dir / "stdout");
    result.err = Slurp(dir / "stderr");
    return result;
  }

  // The three files a folder of the scratch folder holds, one after another.
  std::string Written(const std::string& folder) {
    std::string all;
    for (const char* name : kFiles) {
      EXPECT_TRUE(fs::exists(dir / folder / name)) << folder << "/" << name;
      all += Slurp(dir / folder / name);
    }
    return all;
  }

  fs::path dir;
};

TEST_F(TurtleCli, EverySpellingWritesTheSameFiles) {
  const struct {
    const char* folder;
    std::vector<std::string> args;
  } runs[] = {
      {"plain", {"--out", "plain", "--binary", "plonkrift6.so", "--version", "2.0.0"}},
      {"joined", {"--out=joined", "--binary=plonkrift6.so", "--version=2.0.0"}},
      {"short", {"--ver", "2.0.0", "--o", "short", "--bin", "plonkrift6.so"}},
      {"no-ui", {"--out", "no-ui", "--binary", "plonkrift6.so", "--version", "2.0.0", "--ui="}},
      {"ui", {"--out", "ui", "--binary", "plonkrift6.so", "--version", "2.0.0", "--ui", "plonkrift6_ui.so"}},
      {"ui-short", {"--u=plonkrift6_ui.so", "--out=ui-short", "--b", "plonkrift6.so", "--v=2.0.0"}},
  };
  for (const auto& run : runs) {
    fs::create_directory(dir / run.folder);
    const Result r = Run(run.args);
    ASSERT_EQ(r.status, 0) << run.folder << ": " << r.err;
    EXPECT_EQ(r.out + r.err, "") << run.folder;
  }
  const std::string plain = Written("plain");
  EXPECT_NE(plain.find("lv2:binary <plonkrift6.so>"), std::string::npos);
  EXPECT_NE(plain.find("lv2:microVersion 0 ;"), std::string::npos) << "2.0.0";
  EXPECT_EQ(plain.find("ui:X11UI"), std::string::npos);
  for (const char* folder : {"joined", "short", "no-ui"}) EXPECT_EQ(Written(folder), plain) << folder;
  const std::string ui = Written("ui");
  EXPECT_NE(ui.find("ui:binary <plonkrift6_ui.so>"), std::string::npos);
  EXPECT_EQ(Written("ui-short"), ui);
}

TEST_F(TurtleCli, MistakesGiveOneLineAndExitStatus2) {
  const std::vector<std::string> good = {"--out", "out", "--binary", "a.so", "--version", "1.2.3"};
  const auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = good;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--binary", "a.so", "--version", "1.2.3"}, "no output folder: give --out DIR"},
      {{"--out=", "--binary", "a.so", "--version", "1.2.3"}, "no output folder: give --out DIR"},
      {{"--out", "out", "--version", "1.2.3"}, "no binary: give --binary FILE"},
      {{"--out", "out", "--binary", "a.so"}, "no version: give --version X.Y.Z"},
      {{"--out", "out", "--binary", "a.so", "--version", "1.2"}, "--version: not X.Y.Z: 1.2"},
      {with({"extra"}), "unexpected argument: extra"},
      {with({"--ui"}), "--ui: needs a value"},
      {with({"--help=yes"}), "--help: takes no value"},
      {with({"--bundle=out"}), "unknown option: --bundle=out (see --help)"},
      {with({"-o", "out"}), "unknown option: -o (see --help)"},
  };
  fs::create_directory(dir / "out");
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.err, "plonkrift-lv2-turtle: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(fs::is_empty(dir / "out")) << "nothing is written after a mistake";

  // A folder that cannot be written is a failed run, not a mistake.
  const Result r = Run({"--out", "missing/folder", "--binary", "a.so", "--version", "1.2.3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "plonkrift-lv2-turtle: cannot write the Turtle files into missing/folder\n");
}

TEST_F(TurtleCli, HelpGoesToStandardOutput) {
  for (const char* help : {"--help", "-h"}) {
    const Result r = Run({help});
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_EQ(r.out.rfind("usage: plonkrift-lv2-turtle --out DIR --binary FILE --version X.Y.Z", 0), 0u)
        << r.out;
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
