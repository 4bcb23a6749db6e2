// The build's check of the editor's form: every control carries the Tag the
// slot table binds it to, and a form that binds a control elsewhere is
// refused before it is compiled into the library.

#include <gmock/gmock.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "editor/FormLayout.h"
#include "framework/core/TextForm.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string FormText() {
  std::ifstream in(PLONK_FORM_TEXT, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The form with `from` replaced by `to` at its first place after `anchor`.
std::string Edited(const std::string& anchor, const std::string& from, const std::string& to) {
  std::string text = FormText();
  const std::size_t at = text.find(anchor);
  const std::size_t place = at == std::string::npos ? at : text.find(from, at);
  if (place == std::string::npos) throw std::runtime_error("no " + from + " after " + anchor);
  return text.replace(place, from.size(), to);
}

std::vector<std::string> Faults(const std::string& text) {
  return formlayout::CheckBindings(formlayout::ReadLayout(text));
}

TEST(FormCheck, TheEditorsFormAgreesWithTheSlotTable) {
  EXPECT_THAT(Faults(FormText()), IsEmpty());
}

TEST(FormCheck, NamesEveryControlBoundElsewhere) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> faults;
  };
  const Case cases[] = {
      {"a slider tagged with its neighbour's slot",
       Edited("TDIBKnob fd1cutoff {", "Tag = 41", "Tag = 42"),
       {"fd1cutoff: Tag 42, expected 41 (slot 41 \"FD1 Cutoff\")"}},
      {"a lamp tagged with the other unit's switch",
       Edited("TDIBImage fd1enableled {", "Tag = 40", "Tag = 50"),
       {"fd1enableled: Tag 50, expected 40 (slot 40 \"FD1 Enable\")"}},
      {"a rate button tagged with its slot instead of its bars",
       Edited("TDIBImage lfo1sync3 {", "Tag = 4", "Tag = 60"),
       {"lfo1sync3: Tag 60, expected 4 (4 bars of slot 60 \"LFO1 Period\")"}},
      {"a step without a tag",
       Edited("TDIBImage step9 {", "      Tag = 9\n", ""),
       {"step9: Tag 0, expected 9 (slot 9 \"Step9\")"}},
      {"a tag on a control that shows no parameter",
       Edited("TDIBImage weblink {", "Left = 295", "Tag = 5\n      Left = 295"),
       {"weblink: Tag 5, expected none (it shows no parameter)"}},
      {"a bound control renamed",
       Edited("TDIBImage tie3 {", "tie3 {", "tie33 {"),
       {"tie33: Tag 19, expected none (it shows no parameter)", "tie3: not in the form (slot 19 \"Tie3\")"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THAT(Faults(c.text), ElementsAreArray(c.faults));
  }
}

// The check as the build runs it: its exit status stops the build.
TEST(FormCheck, TheBuildStepRefusesAFormWithAWrongTag) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "formcheck";
  std::filesystem::create_directories(dir);
  auto run = [&](const std::string& name, const std::string& text, std::string& output) {
    const std::filesystem::path form = dir / name;
    std::ofstream(form, std::ios::binary) << text;
    const std::string command = std::string("\"") + PLONKRIFT_FORMCHECK + "\" \"" + form.string() + "\" 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string output;
  EXPECT_EQ(run("good.form", FormText(), output), 0);
  EXPECT_EQ(output, "");
  output.clear();
  EXPECT_EQ(run("wrong-tag.form", Edited("TDIBKnob fd2delay {", "Tag = 54", "Tag = 44"), output), 1);
  EXPECT_THAT(output, HasSubstr("wrong-tag.form: fd2delay: Tag 44, expected 54"));
  output.clear();
  EXPECT_EQ(run("broken.form", Edited("TDIBKnob fd2delay {", "Tag = 54", "Tag = "), output), 1);
  EXPECT_THAT(output, HasSubstr("broken.form: line "));
  std::filesystem::remove_all(dir);
}

}  // namespace
