#include <string.h>

#include <algorithm>
#include <new>

#include "catalog/coding.h"
#include "catalog/context.h"
#include "catalog/crc32.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "platform/console.h"
#include "platform/env.h"

namespace korvex {
namespace {

bool ReadExactly(File& in, void* buffer, size_t n) {
  size_t got = 0;
  return in.Read(buffer, n, &got) && got == n;
}

bool Allocate(std::vector<unsigned char>* bytes, uint64_t n) {
  try {
    bytes->resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool ReadFixed32(File& in, uint64_t position, uint32_t* value) {
  unsigned char bytes[4];
  if (!in.Seek(position) || !ReadExactly(in, bytes, 4)) return false;
  *value = DecodeFixed32(bytes);
  return true;
}

}  // namespace

std::unique_ptr<File> CatalogReader::OpenDataArea(uint32_t* storeCrc, uint64_t* dataLength) const {
  if (!walker_) return nullptr;
  std::unique_ptr<File> in = env_.OpenRead(fileName_);
  if (!in) return nullptr;

  // It must still be the catalog that was loaded.
  unsigned char header[kHeaderSize];
  if (!ReadExactly(*in, header, kHeaderSize) || memcmp(header, kCatalogMagic, kMagicSize) != 0 ||
      DecodeFixed32(header + kTreeCrcOffset) != treeCrc_ ||
      (DecodeFixed32(header + kTreeLengthOffset) & kTreeLengthMask) != treeLength_) {
    return nullptr;
  }
  const uint64_t storeStart = kHeaderSize + uint64_t{treeLength_};
  unsigned char head[kStoreHeadSize];
  if (!in->Seek(storeStart) || !ReadExactly(*in, head, kStoreHeadSize) ||
      head[8] != kStoreMarker) {
    return nullptr;
  }
  *storeCrc = DecodeFixed32(head);
  *dataLength = DecodeFixed32(head + 4);
  // A data area that runs past the end of the file is damage; no buffer is
  // sized by what it claims.
  if (storeStart + kStoreHeadSize + *dataLength > in->Size()) return nullptr;
  return in;
}

bool CatalogReader::ReadDataArea(std::vector<unsigned char>* data) const {
  uint32_t storeCrc = 0;
  uint64_t dataLength = 0;
  std::unique_ptr<File> in = OpenDataArea(&storeCrc, &dataLength);
  if (!in) return false;
  std::vector<unsigned char> bytes;
  if (!Allocate(&bytes, dataLength)) return false;
  uint32_t crc = 0;
  for (uint64_t done = 0; done < dataLength;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(dataLength - done, kBlockSize));
    if (!ReadExactly(*in, bytes.data() + done, n)) return false;
    crc = crc32::Extend(crc, bytes.data() + done, n);
    done += n;
  }
  if (crc != storeCrc) return false;
  data->swap(bytes);
  return true;
}

bool CatalogReader::FetchStored(Context& ctx, std::vector<unsigned char>* contents) const {
  ctx.console.Say("xxx%");
  ctx.console.SetTitle("{xxx%%}" + StageTitle("Extr"));
  if (storedOrdinal_ < 0) return false;
  uint32_t storeCrc = 0;
  uint64_t dataLength = 0;
  std::unique_ptr<File> in = OpenDataArea(&storeCrc, &dataLength);
  if (!in) return false;
  const uint64_t dataStart = kHeaderSize + uint64_t{treeLength_} + kStoreHeadSize;

  // The slot and the record must lie inside the data area.
  const uint64_t slot = 4 * uint64_t(storedOrdinal_);
  uint32_t offset = 0;
  uint32_t size = 0;
  if (slot + 4 > dataLength || !ReadFixed32(*in, dataStart + slot, &offset) ||
      uint64_t{offset} + 4 > dataLength || !ReadFixed32(*in, dataStart + offset, &size) ||
      uint64_t{offset} + 4 + size > dataLength) {
    return false;
  }
  std::vector<unsigned char> result;
  if (!ctx.options.crcEnabled) {
    result.resize(size);
    if (size > 0 && !ReadExactly(*in, result.data(), size)) return false;
    contents->swap(result);
    return true;
  }

  if (!in->Seek(dataStart)) return false;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockSize]);
  if (!block) return false;
  result.reserve(size);
  ScanTotals& t = ctx.totals;
  t.fetchPosition = 0;
  t.fetchThreshold = 0;
  t.fetchTotal = static_cast<uint32_t>(dataLength);
  t.fetchStep = t.fetchTotal / 100;
  const uint64_t wantedStart = uint64_t{offset} + 4;
  const uint64_t wantedEnd = wantedStart + size;
  uint32_t crc = 0;
  for (uint64_t done = 0; done < dataLength;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(dataLength - done, kBlockSize));
    if (!ReadExactly(*in, block.get(), n)) return false;
    crc = crc32::Extend(crc, block.get(), n);
    t.fetchPosition = static_cast<uint32_t>(done);
    if (t.fetchPosition >= t.fetchThreshold) {
      t.fetchThreshold += t.fetchStep;
      ShowProgress(ctx.console, Percentage(t.fetchPosition, dataLength), "Extr");
    }
    uint64_t from = std::max(done, wantedStart);
    uint64_t to = std::min(done + n, wantedEnd);
    if (from < to) result.insert(result.end(), block.get() + (from - done), block.get() + (to - done));
    done += n;
  }
  if (crc != storeCrc) return false;
  contents->swap(result);
  return true;
}

}  // namespace korvex
