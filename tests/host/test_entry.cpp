// The library as a host finds it: exported symbols, the entry, the record.

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <elf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/support/PluginFixture.h"

#if !defined(_WIN32)
namespace {

// Names of the defined, global symbols in the library's dynamic symbol table.
std::set<std::string> exportedSymbols(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (bytes.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  for (int i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr section;
    std::memcpy(&section, bytes.data() + header.e_shoff + i * header.e_shentsize, sizeof section);
    if (section.sh_type != SHT_DYNSYM) continue;
    Elf64_Shdr strings;
    std::memcpy(&strings, bytes.data() + header.e_shoff + section.sh_link * header.e_shentsize,
                sizeof strings);
    for (std::size_t k = 0; k < section.sh_size / sizeof(Elf64_Sym); ++k) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, bytes.data() + section.sh_offset + k * sizeof symbol, sizeof symbol);
      const int binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      names.insert(bytes.data() + strings.sh_offset + symbol.st_name);
    }
  }
  return names;
}

}  // namespace
#endif

TEST(Library, ExportsOnlyTheTwoEntries) {
#if defined(_WIN32)
  GTEST_SKIP() << "an ELF check; the DLL's export table is read by tests/windows (test_dll_tables)";
#else
  EXPECT_EQ(exportedSymbols(hostkit::defaultPluginPath()), (std::set<std::string>{"VSTPluginMain", "main"}));
#endif
}

TEST(Library, BothEntriesCreateIndependentInstances) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost first, second;
  ASSERT_NE(first.create(library.entry("VSTPluginMain")), nullptr);
  ASSERT_NE(second.create(library.entry("main")), nullptr);
  EXPECT_NE(first.effect(), second.effect());
  first.setParameter(5, 0.25f);
  EXPECT_FLOAT_EQ(first.getParameter(5), 0.25f);
  EXPECT_FLOAT_EQ(second.getParameter(5), 1.0f);
  first.dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(first.dispatch(effGetProgram), 3);
  EXPECT_EQ(second.dispatch(effGetProgram), 0);
}

TEST(Library, VersionZeroGivesNullAfterOneCall) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  hostkit::PluginHost host;
  host.versionAnswer = 0;
  EXPECT_EQ(host.create(library.entry()), nullptr);
  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
}

TEST(Library, NullCallbackGivesNull) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  EXPECT_EQ(library.entry()(nullptr), nullptr);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !defined(_WIN32)
namespace {

// Whether a fresh process whose address space may grow by only `headroom`
// bytes gets an instance from the entry.
bool createsWithHeadroom(long headroom) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string bytes = std::to_string(headroom);
    execl(PLONKRIFT_ALLOC_PROBE, PLONKRIFT_ALLOC_PROBE, bytes.c_str(), static_cast<char*>(nullptr));
    _exit(2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

}  // namespace
#endif

TEST(Library, ReturnsNullWhenTheObjectCannotBeAllocated) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve address space of their own";
#elif defined(_WIN32)
  GTEST_SKIP() << "the probe limits the address space with setrlimit, which Windows lacks";
#else
  EXPECT_FALSE(createsWithHeadroom(512 * 1024));
  // The same process with room for the object does create it: the limit, not
  // something else, made the entry decline.
  EXPECT_TRUE(createsWithHeadroom(64 * 1024 * 1024));
#endif
}

TEST(Library, CreateAndCloseManyTimes) {
  // Under AddressSanitizer the leak checker reports anything left behind.
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  for (int i = 0; i < 100; ++i) {
    hostkit::PluginHost host;
    ASSERT_NE(host.create(library.entry()), nullptr);
    host.dispatch(effOpen);
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.close(), 1);
  }
}

using Record = PluginFixture;

TEST_F(Record, HoldsTheEffectsDescription) {
  EXPECT_EQ(effect->magic, 0x56737450);
  EXPECT_EQ(effect->numPrograms, 8);
  EXPECT_EQ(effect->numParams, 70);
  EXPECT_EQ(effect->numInputs, 2);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->flags, 25);
  EXPECT_EQ(effect->initialDelay, 0);
  EXPECT_EQ(effect->realQualities, 0);
  EXPECT_EQ(effect->offQualities, 0);
  EXPECT_EQ(effect->ioRatio, 1.0f);
  EXPECT_EQ(effect->uniqueID, FourCharCode('p', '6', 'v', '2'));
  EXPECT_EQ(effect->version, 1);
  EXPECT_NE(effect->object, nullptr);
  EXPECT_EQ(effect->user, nullptr);
  EXPECT_EQ(effect->resvd1, 0);
  EXPECT_EQ(effect->resvd2, 0);
  for (auto* slot :
       {reinterpret_cast<void*>(effect->dispatcher), reinterpret_cast<void*>(effect->process),
        reinterpret_cast<void*>(effect->processReplacing), reinterpret_cast<void*>(effect->setParameter),
        reinterpret_cast<void*>(effect->getParameter)})
    EXPECT_NE(slot, nullptr);
  // A newer host reads one more function pointer right after the record's
  // known fields; it must be null, and so must the rest.
  const auto* bytes = reinterpret_cast<const unsigned char*>(effect);
  for (std::size_t offset = 128; offset < 192; ++offset) EXPECT_EQ(bytes[offset], 0) << "offset " << offset;
}

TEST_F(Record, ConstructionAsksForVersionAndHostTexts) {
  const auto calls = host->calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].opcode, audioMasterVersion);
  EXPECT_EQ(host->countCalls(audioMasterGetVendorString), 1u);
  EXPECT_EQ(host->countCalls(audioMasterGetProductString), 1u);
  // Nothing else: no time request, no automation while building.
  EXPECT_EQ(calls.size(), 3u);
}

TEST_F(Record, CloseAnswersOne) {
  EXPECT_EQ(host->close(), 1);
}
