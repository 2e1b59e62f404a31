#include "core/link/pager_transfer.h"

namespace m84 {

Result<PagerImage> ReadIntoPages(AdapterLink& link, PagerData& data, PageExchange& pages, TransferHost& host) {
  Result<PagerImage> read = link.ReadPager(host);
  if (!read) return read;
  TakeRead(*read, data.image);
  pages.ExchangeAllPages(Direction::Load);
  return read;
}

WriteResult WriteFromPages(AdapterLink& link, PagerData& data, PageExchange& pages, const WriteOptions& options,
                           TransferHost& host) {
  pages.ExchangeAllPages(Direction::Store);
  WriteResult written = link.WritePager(data.image, options, host);
  TakeWrite(written, data.image);
  if (written.keptSerial) pages.ExchangeAllPages(Direction::Load);
  if (written.reachedVerify) pages.ExchangeAllPages(Direction::Load);
  return written;
}

}  // namespace m84
