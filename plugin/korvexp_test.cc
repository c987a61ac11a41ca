// The built module through its exported entry points, loaded as a host loads
// it: their results and the state kept from call to call.  The items of any
// tree and the parts of the host's records left alone are the plug-in fuzz
// target's; the path and nesting limits, the texts and the exported names
// korvexp-host's golden output.
#include "plugin/korvexp.h"

#include <gtest/gtest.h>
#include <string.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/loader.h"
#include "tests/support/catalog_bytes.h"
#include "tests/support/testutil.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORVEXP_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVEXP_TEST_ASAN 1
#endif
#endif

namespace korvex {
namespace {

std::string Vector(const std::string& name) {
  return test::ReadFile(std::string(KORVEX_SOURCE_DIR) + "/tests/vectors/" + name);
}
const std::string kWorked = Vector("worked-example.dir");

class Korvexp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    module_ = LoadedModule::Load(KORVEXP_MODULE_PATH, &error).release();
    ASSERT_NE(nullptr, module_) << error;
  }
  void SetUp() override {
    ASSERT_NE(nullptr, module_);
    KorvexpArchiveInfo info;
    m().CloseArchive(&info);  // every test starts idle
  }
  static LoadedModule& m() { return *module_; }

  // The first `look` bytes in a block of just that size, so that a read past
  // them is caught by the sanitizers.
  static int32_t IsArchive(const std::string& bytes, size_t look) {
    std::vector<unsigned char> first(bytes.begin(), bytes.begin() + look);
    return m().IsArchive("ignored", first.data(), static_cast<int32_t>(look));
  }
  // "OPENED:NAMES... LAST NEXT", then " crc FLAG" after a clean end: OpenArchive's
  // result, the walk, the result that ended it and the next call's, and what
  // CloseArchive reports.
  static std::string Session(const std::string& path) {
    int32_t value = 0x5555;
    std::string out = std::to_string(m().OpenArchive(path.c_str(), &value)) + ":";
    KorvexpFindData item;
    int32_t last;
    while ((last = m().GetArcItem(&item, 0)) == KORVEXP_ITEM_WRITTEN && out.size() < 1000) {
      out += std::string(item.cFileName) + " ";
    }
    out += std::to_string(last) + " " + std::to_string(m().GetArcItem(&item, 0));
    KorvexpArchiveInfo info;
    const int32_t closed = m().CloseArchive(&info);
    if (last == KORVEXP_ITEM_END) out += " crc " + std::to_string(info.crcFlag);
    return value == 0 && closed == 1 ? out : "value or close wrong";
  }

  test::TempDir dir_;
  static LoadedModule* module_;
};

LoadedModule* Korvexp::module_ = nullptr;

// IsArchive with the first `look` bytes of a catalog, then a session on a
// file holding `onDisk` ("" none, "/" a directory).
TEST_F(Korvexp, Sessions) {
  using Row = std::tuple<std::string, size_t, std::string, std::string>;
  const std::string& worked = kWorked;
  std::string inLook = worked, pastLook = worked;
  inLook[18] ^= 0x01;    // must come from the host's bytes
  pastLook[20] ^= 0x01;  // the first byte the module reads itself
  const std::string other = Vector("search-nocrc.dir");
  std::vector<Row> rows = {
      {Vector("empty-root.dir"), 17, "", "1:0 3 crc 1"},  // no file read
      {other, other.size(), "", "1:README.TXT 0 3 crc 0"},
      {worked, 20, inLook, "1:A D 0 3 crc 1"},
      {worked, 20, pastLook, "0:3 3"},
      {worked, 20, "", "0:3 3"},
      {worked, 20, worked.substr(0, 39), "0:3 3"},
      {worked, 20, "/", "0:3 3"},
  };
  // 17..39 end inside the tree (40 = 16 + its length), 40..60 hold all of it.
  for (size_t look = 17; look <= worked.size(); ++look) {
    rows.emplace_back(worked, look, worked, "1:A D 0 3 crc 1");
  }
  for (const auto& [bytes, look, onDisk, session] : rows) {
    SCOPED_TRACE(testing::Message() << "look " << look << ", on disk " << onDisk.size());
    ASSERT_EQ(1, IsArchive(bytes, look));
    EXPECT_EQ(session, Session(onDisk == "/"  ? dir_.MakeDir("d.dir")
                               : onDisk == "" ? dir_ / "missing.dir"
                                              : dir_.Write("c.dir", onDisk)));
  }
}

TEST_F(Korvexp, OnlyTheLastRecognisedCatalogCounts) {
  const std::string& worked = kWorked;
  const std::string path = dir_.Write("c.dir", worked);
  EXPECT_EQ("0:3 3", Session(path));
  ASSERT_EQ(1, IsArchive(worked, 20));
  // What is no catalog leaves the one held.
  EXPECT_EQ(0, IsArchive(worked, 16));
  EXPECT_EQ(0, m().IsArchive("x", reinterpret_cast<const unsigned char*>(worked.data()), -1));
  std::string other = worked;
  other[7] = 1;  // another magic
  EXPECT_EQ(0, IsArchive(other, 60));
  EXPECT_EQ("1:A D 0 3 crc 1", Session(path));
  // Recognised and never opened, it is replaced by the next.
  ASSERT_EQ(1, IsArchive(worked, 20));
  ASSERT_EQ(1, IsArchive(Vector("search-one.dir"), 20));
  EXPECT_EQ("0:3 3", Session(path));  // the worked example's bytes are not its rest
}

#ifndef _WIN32
TEST_F(Korvexp, ExhaustedMemoryRejectsTheCatalog) {
#ifdef KORVEXP_TEST_ASAN
  GTEST_SKIP() << "address space limits do not mix with the sanitizer";
#endif
  // A sparse file as long as its 2 GiB tree claims, opened in a child whose
  // address space cannot hold that tree.
  std::string catalog = kWorked;
  catalog.replace(kTreeLengthOffset, 4, test::Le(0xFFFFFFFFu));
  const std::string path = dir_.Write("huge.dir", catalog);
  ASSERT_EQ(0, truncate(path.c_str(), 16 + 0x7FFFFFFFll));
  const pid_t child = fork();
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max =
        static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (512u << 20);
    _exit(setrlimit(RLIMIT_AS, &limit) == 0 && IsArchive(catalog, catalog.size()) == 1 &&
                  Session(path) == "0:3 3"
              ? 0
              : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

// The calls without state write their texts, and nothing past them; a refusal
// writes nothing.  The texts themselves are in korvexp-host's golden output.
TEST_F(Korvexp, StatelessCalls) {
  std::string b(64, '\xA5');
  EXPECT_EQ(0, m().GetFormatName(1, &b[0], &b[8]) + m().GetDefaultCommands(1, 0, &b[0]) +
                   m().GetDefaultCommands(0, 15, &b[0]) + m().GetDefaultCommands(0, ~0u, &b[0]));
  EXPECT_EQ(std::string(64, '\xA5'), b);
  EXPECT_EQ(1, m().GetFormatName(0, &b[0], &b[8]));
  EXPECT_EQ(2, m().GetDefaultCommands(0, 0, &b[12]) + m().GetDefaultCommands(0, 7, &b[45]));
  EXPECT_EQ(std::string("KORVEX\0\0DIR\0korvex e /mount=I:\\ %%A \"%%f\" .\\\0\0", 46) +
                std::string(18, '\xA5'),
            b);
  EXPECT_EQ(0, m().LoadFormatModule("anything"));
}

}  // namespace
}  // namespace korvex
