#include "catalog/block_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "catalog/crc32.h"
#include "catalog/format.h"
#include "tests/support/memory_env.h"

namespace korvex {
namespace {

// A consumer that stops after some blocks gets what one read after another
// gives, whether the blocks are read ahead or not; stopping while the ring
// ahead is full (the consumer slow) returns.
TEST(BlockReader, StopsAtTheSameBlockWithAndWithoutReadingAhead) {
  std::string contents(8 * kBlockSize, 'x');  // a whole block last: no probe after a stop
  for (size_t i = 0; i < contents.size(); i += 4093) contents[i] = static_cast<char>(i / 4093);
  test::MemoryEnv env;
  env.AddFile("f", contents);
  std::unique_ptr<BlockReader> reader = BlockReader::Create();
  for (uint64_t stopAt : {0, 1, 5, 7, 8}) {
    for (bool ahead : {false, true}) {
      uint64_t blocks = 0;
      const ReadResult r = reader->ReadFile(env, "f", contents.size(), ahead, [&](const Block&) {
        if (stopAt == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return blocks++ != stopAt;
      });
      const size_t read = std::min<size_t>(contents.size(), (stopAt + 1) * kBlockSize);
      EXPECT_EQ(stopAt < 8 ? ReadStatus::kStopped : ReadStatus::kOk, r.status) << stopAt << ahead;
      EXPECT_EQ(read, r.bytes) << stopAt << ahead;
      EXPECT_EQ(crc32::Value(contents.data(), read), r.crc) << stopAt << ahead;
    }
  }
}

}  // namespace
}  // namespace korvex
