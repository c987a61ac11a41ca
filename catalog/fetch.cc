#include <string.h>

#include <algorithm>
#include <new>

#include "catalog/block_reader.h"
#include "catalog/coding.h"
#include "catalog/format.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "platform/env.h"

namespace korvex {
namespace {

bool ReadExactly(File& in, void* buffer, size_t n) {
  size_t got = 0;
  return in.Read(buffer, n, &got) && got == n;
}

bool ReadFixed32(File& in, uint64_t position, uint32_t* value) {
  unsigned char bytes[4];
  if (!in.Seek(position) || !ReadExactly(in, bytes, 4)) return false;
  *value = DecodeFixed32(bytes);
  return true;
}

}  // namespace

std::unique_ptr<File> CatalogReader::OpenDataArea(StoreHead* head) const {
  if (!walker_) return nullptr;
  std::unique_ptr<File> in = env_.OpenRead(fileName_);
  if (!in) return nullptr;

  // It must still be the catalog that was loaded.
  unsigned char bytes[kHeaderSize];
  CatalogHeader header;
  if (!ReadExactly(*in, bytes, kHeaderSize) || !header.DecodeFrom(bytes, kHeaderSize) ||
      header.treeCrc != header_.treeCrc || header.treeLength != treeLength_) {
    return nullptr;
  }
  const uint64_t storeStart = kHeaderSize + uint64_t{treeLength_};
  if (!in->Seek(storeStart) || !ReadExactly(*in, bytes, kStoreHeadSize) ||
      !head->DecodeFrom(bytes, kStoreHeadSize)) {
    return nullptr;
  }
  // A data area that runs past the end of the file is damage; no buffer is
  // sized by what it claims.
  if (storeStart + kStoreHeadSize + head->dataLength > in->Size()) return nullptr;
  return in;
}

bool CatalogReader::ReadDataArea(BlockReader& reader, std::vector<unsigned char>* data) const {
  StoreHead head;
  std::unique_ptr<File> in = OpenDataArea(&head);
  if (!in) return false;
  std::vector<unsigned char> bytes;
  try {
    bytes.resize(head.dataLength);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ReadResult read = reader.ReadExactly(*in, head.dataLength, [&](const Block& block) {
    memcpy(bytes.data() + block.offset, block.data, block.size);
    return true;
  });
  if (!read.ok() || read.crc != head.crc) return false;
  data->swap(bytes);
  return true;
}

bool CatalogReader::FetchStored(bool verify, ProgressObserver& progress,
                                std::vector<unsigned char>* contents) const {
  if (storedOrdinal_ < 0) return false;
  StoreHead head;
  std::unique_ptr<File> in = OpenDataArea(&head);
  if (!in) return false;
  const uint32_t storeCrc = head.crc;
  const uint64_t dataLength = head.dataLength;
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
  if (!verify) {
    result.resize(size);
    if (size > 0 && !ReadExactly(*in, result.data(), size)) return false;
    contents->swap(result);
    return true;
  }

  std::unique_ptr<BlockReader> reader = BlockReader::Create();
  if (!reader || !in->Seek(dataStart)) return false;
  result.reserve(size);
  const uint64_t wantedStart = uint64_t{offset} + 4;
  const uint64_t wantedEnd = wantedStart + size;
  ReadResult read = reader->ReadExactly(*in, dataLength, [&](const Block& block) {
    progress.BytesDone(block.offset, dataLength);
    const uint64_t from = std::max(block.offset, wantedStart);
    const uint64_t to = std::min(block.offset + block.size, wantedEnd);
    if (from < to) {
      result.insert(result.end(), block.data + (from - block.offset), block.data + (to - block.offset));
    }
    return true;
  });
  if (!read.ok() || read.crc != storeCrc) return false;
  contents->swap(result);
  return true;
}

}  // namespace korvex
