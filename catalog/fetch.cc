#include "catalog/context.h"
#include "catalog/progress.h"
#include "catalog/reader.h"
#include "catalog/store_reader.h"
#include "platform/console.h"

namespace korvex {

StoreReader::Progress StoreCheckProgress(Context& ctx) {
  ScanTotals& t = ctx.totals;
  t.fetchPosition = 0;
  t.fetchThreshold = 0;
  return [&ctx](uint64_t done, uint64_t total) {
    ScanTotals& t = ctx.totals;
    t.fetchTotal = static_cast<uint32_t>(total);
    t.fetchStep = t.fetchTotal / 100;
    t.fetchPosition = static_cast<uint32_t>(done);
    if (t.fetchPosition >= t.fetchThreshold) {
      t.fetchThreshold += t.fetchStep;
      ShowProgress(ctx.console, Percentage(t.fetchPosition, total), "Extr");
    }
  };
}

bool CatalogReader::FetchStored(Context& ctx, std::vector<unsigned char>* contents) const {
  ctx.console.Say("xxx%");
  ctx.console.SetTitle("{xxx%%}" + StageTitle("Extr"));
  // One fetch: the data area is streamed past, never held.
  StoreReader store(env_, *this, 0);
  return store.Fetch(storedOrdinal_, ctx.options.crcEnabled, StoreCheckProgress(ctx), contents);
}

}  // namespace korvex
