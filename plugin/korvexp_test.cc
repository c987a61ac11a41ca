// Drives the built module through its exported entry points, loaded the way
// a host loads it.
#include "plugin/korvexp.h"

#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#ifndef _WIN32
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "catalog/coding.h"
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

constexpr uint64_t kTimeAsFileTime = 126444736000000000ull;  // 2001-09-09 01:46:40 UTC
constexpr unsigned char kPattern = 0xA5;

std::string Catalog(const std::string& tree, bool withCrc = true) {
  return test::Catalog(tree, withCrc);
}

// A host's item record: the find data and more of the host's own after it.
struct HostItem {
  KorvexpFindData find;
  unsigned char trailer[32];
};

struct Item {
  int32_t result;
  HostItem record;
  std::string name() const { return record.find.cFileName; }
  uint64_t writeTime() const {
    return static_cast<uint64_t>(record.find.ftLastWriteTime.dwHighDateTime) << 32 |
           record.find.ftLastWriteTime.dwLowDateTime;
  }
};

struct Walk {
  std::vector<Item> items;  // every item written
  int32_t last = -1;        // the result that ended the walk
};

HostItem Filled() {
  HostItem item;
  memset(&item, kPattern, sizeof item);
  return item;
}

class Korvexp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    module_ = LoadedModule::Load(KORVEXP_MODULE_PATH, &error).release();
    if (module_ == nullptr) FAIL() << error;
  }
  static void TearDownTestSuite() {
    delete module_;
    module_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(nullptr, module_);
    KorvexpArchiveInfo info;
    m().CloseArchive(&info);  // every test starts idle
  }

  static LoadedModule& m() { return *module_; }

  // Hands the module exactly the first firstLook bytes, in a block of that
  // size, so a read past them is caught by the sanitizers.
  int32_t IsArchive(const std::string& bytes, size_t firstLook = std::string::npos) {
    size_t n = std::min(firstLook, bytes.size());
    std::unique_ptr<unsigned char[]> look(new unsigned char[n == 0 ? 1 : n]);
    memcpy(look.get(), bytes.data(), n);
    return m().IsArchive("ignored", look.get(), static_cast<int32_t>(n));
  }

  int32_t OpenArchive(const std::string& path) {
    int32_t value = 0x5555;
    int32_t result = m().OpenArchive(path.c_str(), &value);
    EXPECT_EQ(0, value);
    return result;
  }

  Item Next() {
    Item item;
    item.record = Filled();
    item.result = m().GetArcItem(&item.record.find, 0x1234);
    return item;
  }

  std::string Write(const std::string& bytes, const std::string& name = "c.dir") {
    return dir_.Write(name, bytes);
  }

  // Recognises, opens and walks a catalog written to disk.
  Walk Browse(const std::string& catalog, size_t firstLook = 4096) {
    Walk walk;
    std::string path = Write(catalog);
    EXPECT_EQ(1, IsArchive(catalog, firstLook));
    EXPECT_EQ(1, OpenArchive(path));
    for (int i = 0; i < 100000; ++i) {
      Item item = Next();
      if (item.result != KORVEXP_ITEM_WRITTEN) {
        walk.last = item.result;
        HostItem untouched = Filled();
        EXPECT_EQ(0, memcmp(&item.record, &untouched, sizeof item.record))
            << "record written on result " << item.result;
        break;
      }
      walk.items.push_back(item);
    }
    return walk;
  }

  std::vector<std::string> Names(const Walk& walk) {
    std::vector<std::string> names;
    for (const Item& item : walk.items) names.push_back(item.name());
    return names;
  }

  KorvexpArchiveInfo Close() {
    KorvexpArchiveInfo info;
    memset(&info, kPattern, sizeof info);
    EXPECT_EQ(1, m().CloseArchive(&info));
    return info;
  }

  test::TempDir dir_;
  static LoadedModule* module_;
};

LoadedModule* Korvexp::module_ = nullptr;

std::string WorkedExample() {
  return test::ReadFile(std::string(KORVEX_SOURCE_DIR) + "/tests/vectors/worked-example.dir");
}

TEST_F(Korvexp, WorkedExampleForEveryFirstLook) {
  const std::string catalog = WorkedExample();
  ASSERT_EQ(60u, catalog.size());
  // 17..39 end inside the tree (40 = 16 + T), 40..60 cover all of it.
  for (size_t look = 17; look <= catalog.size(); ++look) {
    SCOPED_TRACE(look);
    Walk walk = Browse(catalog, look);
    ASSERT_EQ(2u, walk.items.size());
    const KorvexpFindData& a = walk.items[0].record.find;
    EXPECT_EQ(0x28u, a.dwFileAttributes);
    EXPECT_EQ(3u, a.nFileSizeLow);
    EXPECT_EQ("A", walk.items[0].name());
    EXPECT_EQ(kTimeAsFileTime, walk.items[0].writeTime());
    const KorvexpFindData& d = walk.items[1].record.find;
    EXPECT_EQ(0x10u, d.dwFileAttributes);
    EXPECT_EQ(0u, d.nFileSizeLow);
    EXPECT_EQ("D", walk.items[1].name());
    EXPECT_EQ(kTimeAsFileTime, walk.items[1].writeTime());
    EXPECT_EQ(KORVEXP_ITEM_END, walk.last);
    EXPECT_EQ(KORVEXP_ITEM_MALFORMED, Next().result);  // the fourth call
    KorvexpArchiveInfo info = Close();
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0, 1, 0}),
              (std::vector<uint32_t>{info.reserved[0], info.reserved[1], info.reserved[2],
                                     info.crcFlag, info.reserved4}));
  }
}

TEST_F(Korvexp, FirstLookMustBeLongerThanTheHeader) {
  const std::string oneByteTree = Catalog(std::string(1, '\0'));
  ASSERT_EQ(17u, oneByteTree.size());
  EXPECT_EQ(0, IsArchive(oneByteTree, 16));
  EXPECT_EQ(0, IsArchive(oneByteTree, 0));
  EXPECT_EQ(0, m().IsArchive("x", reinterpret_cast<const unsigned char*>(oneByteTree.data()), -1));
  // 17 bytes hold the whole tree: no file is read, so none needs to exist.
  EXPECT_EQ(1, IsArchive(oneByteTree, 17));
  EXPECT_EQ(1, OpenArchive(dir_ / "missing.dir"));
  EXPECT_EQ(KORVEXP_ITEM_END, Next().result);  // a single-byte tree
  EXPECT_EQ(KORVEXP_ITEM_MALFORMED, Next().result);
}

TEST_F(Korvexp, RejectsAnyOtherMagicAndKeepsTheCatalogItHolds) {
  const std::string catalog = WorkedExample();
  std::string path = Write(catalog);
  ASSERT_EQ(1, IsArchive(catalog, 20));
  for (size_t i = 0; i < 8; ++i) {
    std::string wrong = catalog;
    wrong[i] ^= 0x20;
    EXPECT_EQ(0, IsArchive(wrong)) << i;
  }
  EXPECT_EQ(1, OpenArchive(path));
  EXPECT_EQ("A", Next().name());
}

TEST_F(Korvexp, ContinuesReadingAtTheEndOfTheFirstLook) {
  const std::string catalog = WorkedExample();
  std::string onDisk = catalog;
  onDisk[18] ^= 0x01;  // inside the first look: must come from the host's bytes
  std::string path = Write(onDisk);
  ASSERT_EQ(1, IsArchive(catalog, 20));
  EXPECT_EQ(1, OpenArchive(path));
  EXPECT_EQ(0x28u, Next().record.find.dwFileAttributes);

  onDisk = catalog;
  onDisk[20] ^= 0x01;  // the first byte the module reads itself
  path = Write(onDisk, "d.dir");
  ASSERT_EQ(1, IsArchive(catalog, 20));
  EXPECT_EQ(0, OpenArchive(path));
}

TEST_F(Korvexp, OpenFailsWhenTheRestOfTheTreeCannotBeRead) {
  const std::string catalog = WorkedExample();
  ASSERT_EQ(1, IsArchive(catalog, 20));
  EXPECT_EQ(0, OpenArchive(dir_ / "missing.dir"));
  EXPECT_EQ(KORVEXP_ITEM_MALFORMED, Next().result);
  EXPECT_EQ(0, OpenArchive(Write(catalog)));  // the failure dropped the catalog

  ASSERT_EQ(1, IsArchive(catalog, 20));
  EXPECT_EQ(0, OpenArchive(Write(catalog.substr(0, 39), "short.dir")));
  ASSERT_EQ(1, IsArchive(catalog, 20));
  EXPECT_EQ(0, OpenArchive(dir_.MakeDir("a-directory.dir")));
}

#ifndef _WIN32
TEST_F(Korvexp, ExhaustedMemoryRejectsTheCatalog) {
#ifdef KORVEXP_TEST_ASAN
  GTEST_SKIP() << "address space limits do not mix with the sanitizer";
#endif
  // A sparse file as long as its 2 GiB tree claims, browsed in a child whose
  // address space cannot hold that tree.
  std::string catalog = test::Catalog(test::TreeBytes().File("A", 0x20, 1).bytes, true);
  catalog.replace(kTreeLengthOffset, 4, test::Le(0xFFFFFFFFu));
  std::string path = Write(catalog);
  ASSERT_EQ(0, truncate(path.c_str(), 16 + 0x7FFFFFFFll));
  pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max =
        static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (512u << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    int32_t value = 1;
    bool ok = IsArchive(catalog) == 1 && m().OpenArchive(path.c_str(), &value) == 0 &&
              value == 0 && Next().result == KORVEXP_ITEM_MALFORMED;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(0, WEXITSTATUS(status));
}
#endif

TEST_F(Korvexp, StateOnlyFromTheLastRecognisedCatalog) {
  EXPECT_EQ(KORVEXP_ITEM_MALFORMED, Next().result);  // idle
  EXPECT_EQ(0, OpenArchive("never-recognised"));
  std::string first = Write(WorkedExample(), "first.dir");
  test::TreeBytes noCrc;
  noCrc.withCrc = false;
  std::string second = Catalog(noCrc.File("OTHER", 0x20, 9).End().bytes, false);
  std::string secondPath = Write(second, "second.dir");
  ASSERT_EQ(1, IsArchive(WorkedExample(), 20));
  ASSERT_EQ(1, IsArchive(second, 20));  // replaces the first, unopened
  EXPECT_EQ(0, OpenArchive(first));     // reads the first file as the second's rest
  ASSERT_EQ(1, IsArchive(second, 20));
  ASSERT_EQ(1, OpenArchive(secondPath));
  Item item = Next();
  EXPECT_EQ("OTHER", item.name());
  EXPECT_EQ(KORVEXP_ITEM_END, Next().result);
  EXPECT_EQ(0u, Close().crcFlag);
  EXPECT_EQ(KORVEXP_ITEM_MALFORMED, Next().result);  // closed
}

TEST_F(Korvexp, AbandonedCatalogsAreReleased) {
  // Recognised and never opened, opened and failed, opened and never closed:
  // the leak check run of this binary sees every buffer freed.
  const std::string catalog = WorkedExample();
  std::string path = Write(catalog);
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(1, IsArchive(catalog, 17 + i % 23));  // each ends inside the tree
    if (i % 3 == 0) {
      EXPECT_EQ(0, OpenArchive(dir_ / "missing.dir"));
    } else if (i % 3 == 1) {
      EXPECT_EQ(1, OpenArchive(path));
    }
  }
}

TEST_F(Korvexp, DefaultCommands) {
  char buffer[64];
  memset(buffer, kPattern, sizeof buffer);
  ASSERT_EQ(1, m().GetDefaultCommands(0, 0, buffer));
  EXPECT_STREQ("korvex e /mount=I:\\ %%A \"%%f\" .\\", buffer);
  EXPECT_EQ(32u, strlen(buffer));
  EXPECT_EQ(kPattern, static_cast<unsigned char>(buffer[33]));

  memset(buffer, kPattern, sizeof buffer);
  EXPECT_EQ(1, m().GetDefaultCommands(0, 7, buffer));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ(kPattern, static_cast<unsigned char>(buffer[1]));
  EXPECT_EQ(1, m().GetDefaultCommands(0, 14, buffer));
  EXPECT_STREQ("*", buffer);

  memset(buffer, kPattern, sizeof buffer);
  EXPECT_EQ(0, m().GetDefaultCommands(0, 15, buffer));
  EXPECT_EQ(0, m().GetDefaultCommands(0, 0xFFFFFFFFu, buffer));
  EXPECT_EQ(0, m().GetDefaultCommands(1, 0, buffer));
  for (char c : buffer) {
    EXPECT_EQ(kPattern, static_cast<unsigned char>(c));
  }
}

TEST_F(Korvexp, FormatNameAndLoad) {
  char name[8];
  char extension[4];
  memset(name, kPattern, sizeof name);
  memset(extension, kPattern, sizeof extension);
  EXPECT_EQ(0, m().GetFormatName(1, name, extension));
  for (char c : name) {
    EXPECT_EQ(kPattern, static_cast<unsigned char>(c));
  }
  for (char c : extension) {
    EXPECT_EQ(kPattern, static_cast<unsigned char>(c));
  }
  EXPECT_EQ(1, m().GetFormatName(0, name, extension));
  EXPECT_EQ(0, memcmp(name, "KORVEX\0\0", 8));
  EXPECT_EQ(0, memcmp(extension, "DIR\0", 4));
  EXPECT_EQ(0, m().LoadFormatModule("anything"));
}

#ifndef _WIN32
TEST_F(Korvexp, ExportsNothingButTheEntryPoints) {
  void* handle = dlopen(KORVEXP_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, handle);
  EXPECT_EQ(nullptr, dlsym(handle, "KorvexpCrc32Extend"));
  EXPECT_NE(nullptr, dlsym(handle, "GetArcItem"));
  dlclose(handle);
}
#endif

}  // namespace
}  // namespace korvex
